#include "connection/server_list.h"

#include <algorithm>
#include <stdexcept>

namespace quorvane::connection {

namespace {

constexpr std::string_view kSeparator = "\xC3\xBF";  // U+00FF in UTF-8
constexpr std::size_t kMaxLoginCharacters = 255;

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && CompareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

// The first `count` characters of UTF-8 text (continuation bytes do not start a character).
std::string FirstCharacters(std::string_view text, std::size_t count) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && characters++ == count) {
      return std::string(text.substr(0, i));
    }
  }
  return std::string(text);
}

bool EndsItem(char c) {
  return c == ',' || (c >= 1 && c <= ' ');
}
bool IsSkipped(char c) {
  return c >= 1 && c <= ' ';
}

}  // namespace

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(Lower(a[i]));
    const auto y = static_cast<unsigned char>(Lower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string_view TrimBlanks(std::string_view text) {
  auto blank = [](char c) { return c >= 1 && c <= ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::size_t ServerList::Add(std::string_view name, std::string login) {
  ServerEntry entry{UpperCase(name), TString(std::move(login))};
  const auto at = std::upper_bound(
      entries_.begin(), entries_.end(), entry,
      [](const ServerEntry& a, const ServerEntry& b) { return CompareNoCase(a.name, b.name) < 0; });
  const auto index = static_cast<std::size_t>(at - entries_.begin());
  entries_.insert(at, std::move(entry));
  return index;
}

std::optional<std::size_t> ServerList::Find(std::string_view name) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (CompareNoCase(entries_[i].name, name) == 0) return i;
  }
  return std::nullopt;
}

std::size_t ServerList::Remember(std::string_view name, std::string login) {
  if (const auto index = Find(name)) {
    SetLogin(*index, std::move(login));
    return *index;
  }
  return Add(name, std::move(login));
}

void ServerList::SetLogin(std::size_t index, std::string login) {
  entries_.at(index).login = TString(std::move(login));
}

void ServerList::RemoveAt(std::size_t index) {
  if (index >= entries_.size()) throw std::out_of_range("server list index");
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
}

bool ServerList::Remove(std::string_view name) {
  const auto index = Find(name);
  if (!index) return false;
  RemoveAt(*index);
  return true;
}

std::optional<std::size_t> ServerList::Complete(std::string_view typed) const {
  if (typed.empty()) return std::nullopt;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (StartsWithNoCase(entries_[i].name, typed)) return i;
  }
  return std::nullopt;
}

bool WindowsAuthenticationFor(const ServerEntry& entry) {
  return TrimBlanks(entry.login.Text()).empty();
}

bool WinAuthCheckBoxClick(ServerList& servers, std::string_view serverText, bool ticked) {
  const std::string_view name = TrimBlanks(serverText);
  if (name.empty()) return false;
  if (!ticked) return true;
  const auto index = servers.Find(name);
  if (!index) return false;
  servers.SetLogin(*index, {});
  return true;
}

std::string FormatServers(const ServerList& servers) {
  std::string value;
  for (const ServerEntry& entry : servers) {
    if (!value.empty()) value += ',';
    const std::string item = entry.name + std::string(kSeparator) + entry.login.Text();
    const bool quote =
        std::any_of(item.begin(), item.end(), [](char c) { return EndsItem(c) || c == '"'; });
    if (!quote) {
      value += item;
      continue;
    }
    value += '"';
    for (char c : item) {
      if (c == '"') value += '"';
      value += c;
    }
    value += '"';
  }
  return value;
}

ServerList ParseServers(std::string_view value) {
  std::vector<std::string> items;
  std::size_t p = 0;
  const std::size_t n = value.size();
  auto skip = [&] {
    while (p < n && IsSkipped(value[p])) ++p;
  };
  skip();
  while (p < n) {
    std::string item;
    if (value[p] == '"') {
      ++p;
      while (p < n) {
        if (value[p] == '"') {
          if (p + 1 < n && value[p + 1] == '"') {
            item += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item += value[p++];
      }
    } else {
      const std::size_t start = p;
      while (p < n && !EndsItem(value[p])) ++p;
      item = std::string(value.substr(start, p - start));
    }
    items.push_back(std::move(item));
    skip();
    if (p < n && value[p] == ',') {
      if (p + 1 == n) items.emplace_back();
      ++p;
      skip();
    }
  }

  std::stable_sort(items.begin(), items.end(), [](const std::string& a, const std::string& b) {
    return CompareNoCase(a, b) < 0;
  });
  items.erase(std::unique(items.begin(), items.end(),
                          [](const std::string& a, const std::string& b) {
                            return CompareNoCase(a, b) == 0;
                          }),
              items.end());

  ServerList servers;
  for (const std::string& item : items) {
    const std::size_t at = item.find(kSeparator);
    std::string_view name = item;
    std::string login;
    if (at != std::string::npos) {
      name = std::string_view(item).substr(0, at);
      login = FirstCharacters(std::string_view(item).substr(at + kSeparator.size()),
                              kMaxLoginCharacters);
    }
    // An entry without a name cannot be connected to; it only clutters the list.
    if (TrimBlanks(name).empty()) continue;
    servers.Add(name, std::move(login));
  }
  return servers;
}

}  // namespace quorvane::connection
