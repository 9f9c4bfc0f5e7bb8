#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::connection {

// The remembered login name of a server; empty means Windows authentication. Never a password.
class TString {
 public:
  TString() = default;
  explicit TString(std::string text) : text_(std::move(text)) {}
  const std::string& Text() const { return text_; }
  bool operator==(const TString&) const = default;

 private:
  std::string text_;
};

struct ServerEntry {
  std::string name;  // in capitals
  TString login;
  bool operator==(const ServerEntry&) const = default;
};

// The servers the program has connected to (the entries of `SQLServerComboBox`): names in
// capitals, kept sorted without regard to letter case. A name is listed once unless a
// hand-edited settings file lists it twice.
class ServerList {
 public:
  using const_iterator = std::vector<ServerEntry>::const_iterator;

  // Adds an entry at its sorted place, after entries that compare equal. Returns its index.
  std::size_t Add(std::string_view name, std::string login);
  // The first entry whose name equals `name`, letter case ignored; blanks count.
  std::optional<std::size_t> Find(std::string_view name) const;
  // Records the login of a successful connection: a new entry for an unlisted name, otherwise
  // a new login for the listed one. Returns the entry's index.
  std::size_t Remember(std::string_view name, std::string login);
  void SetLogin(std::size_t index, std::string login);
  void RemoveAt(std::size_t index);
  // Removes the entry found by Find; false when the name is not listed.
  bool Remove(std::string_view name);
  void Clear() { entries_.clear(); }

  // Auto-completion: the first entry whose name begins with `typed`, letter case ignored.
  std::optional<std::size_t> Complete(std::string_view typed) const;

  const ServerEntry& operator[](std::size_t index) const { return entries_.at(index); }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  bool operator==(const ServerList&) const = default;

 private:
  std::vector<ServerEntry> entries_;
};

// The confirmation asked (Yes/No, No the default) before "Remove All Servers from List".
inline constexpr std::string_view kRemoveAllServersQuestion = "Remove all servers from the list?";

// Capitals as the server box shows them (ASCII letters; other characters unchanged).
std::string UpperCase(std::string_view text);
// Letter case ignored (ASCII), then by byte value.
int CompareNoCase(std::string_view a, std::string_view b);
std::string_view TrimBlanks(std::string_view text);

// `SQLServerComboBoxSelect`: the state of the Windows-authentication box for a picked entry.
bool WindowsAuthenticationFor(const ServerEntry& entry);

// `WinAuthCheckBoxClick` after the box changed to `ticked` with `serverText` in the server box.
// Ticking forgets the listed server's login. Returns true when the state is to be saved.
bool WinAuthCheckBoxClick(ServerList& servers, std::string_view serverText, bool ticked);

// The `Servers` value of the settings file: "NAME\u00FFlogin" items joined by ",". An item
// holding a blank, a control character, "," or a double quote is written as a quoted string,
// so that every entry reads back as written.
std::string FormatServers(const ServerList& servers);
// Reads a `Servers` value by the delimited-text rules: items end at "," or at characters 1 to 32
// outside double quotes; quoted items run to the closing quote, "" standing for one. Items are
// sorted and case-insensitive duplicates dropped; each splits at its first U+00FF into name and
// login (at most 255 characters). Items without a server name are skipped.
ServerList ParseServers(std::string_view value);

}  // namespace quorvane::connection
