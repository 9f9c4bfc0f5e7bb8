#include "connection/connection_string.h"

namespace quorvane::connection {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Quoted(std::string_view value, char quote) {
  std::string text(1, quote);
  for (char c : value) {
    if (c == quote) text += quote;
    text += c;
  }
  text += quote;
  return text;
}

std::string EncryptionPairs(const EncryptionOptions& e) {
  if (e == EncryptionOptions{}) return {};
  std::string text = ";Use Encryption for Data=" + std::string(EncryptModeName(e.mode));
  if (e.trustServerCertificate) text += ";Trust Server Certificate=True";
  if (!e.hostNameInCertificate.empty()) {
    text += ";Host Name In Certificate=" + QuoteOleDbValue(e.hostNameInCertificate, true);
  }
  if (!e.caFile.empty()) text += ";Server Certificate=" + QuoteOleDbValue(e.caFile, true);
  return text;
}

}  // namespace

std::string QuoteOleDbValue(std::string_view value, bool keepEdgeBlanks) {
  bool needs = false;
  for (char c : value) {
    if (c == ';' || c == '=' || c == '{' || c == '}' || c == '"' || c == '\'' ||
        (keepEdgeBlanks && static_cast<unsigned char>(c) <= ' ')) {
      needs = true;
      break;
    }
  }
  if (!needs) return std::string(value);
  const bool hasDouble = value.find('"') != std::string_view::npos;
  const bool hasSingle = value.find('\'') != std::string_view::npos;
  return Quoted(value, hasDouble && !hasSingle ? '\'' : '"');
}

std::string OleDbConnectionString(std::string_view provider, std::string_view server,
                                  const EncryptionOptions& encryption) {
  return "Provider=" + QuoteOleDbValue(provider, false) +
         ";Integrated Security=SSPI;Persist Security Info=False;Data Source=" +
         QuoteOleDbValue(server, false) + EncryptionPairs(encryption);
}

std::string OleDbConnectionString(std::string_view provider, std::string_view server,
                                  std::string_view userName, std::string_view password,
                                  const EncryptionOptions& encryption) {
  return "Provider=" + QuoteOleDbValue(provider, false) +
         ";Persist Security Info=False;Data Source=" + QuoteOleDbValue(server, false) +
         ";User ID=" + QuoteOleDbValue(userName, true) +
         ";Password=" + QuoteOleDbValue(password, true) + EncryptionPairs(encryption);
}

Pairs ParseOleDbConnectionString(std::string_view text) {
  Pairs pairs;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    while (i < n && (IsBlank(text[i]) || text[i] == ';')) ++i;
    if (i >= n) break;

    std::string keyword;
    for (;;) {
      if (i >= n) throw ConnectionStringError("Connection string keyword without a value.");
      if (text[i] == '=') {
        if (i + 1 < n && text[i + 1] == '=') {
          keyword += '=';
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      if (text[i] == ';') throw ConnectionStringError("Connection string keyword without a value.");
      keyword += text[i++];
    }
    keyword = std::string(Trim(keyword));
    if (keyword.empty()) throw ConnectionStringError("Connection string value without a keyword.");

    while (i < n && IsBlank(text[i])) ++i;
    std::string value;
    if (i < n && (text[i] == '"' || text[i] == '\'')) {
      const char quote = text[i++];
      for (;;) {
        if (i >= n) {
          throw ConnectionStringError("Unterminated quoted value for \"" + keyword + "\".");
        }
        if (text[i] == quote) {
          if (i + 1 < n && text[i + 1] == quote) {
            value += quote;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += text[i++];
      }
      while (i < n && IsBlank(text[i])) ++i;
      if (i < n && text[i] != ';') {
        throw ConnectionStringError("Unexpected text after the quoted value for \"" + keyword +
                                    "\".");
      }
    } else {
      const std::size_t end = text.find(';', i);
      const std::size_t stop = end == std::string_view::npos ? n : end;
      value = std::string(Trim(text.substr(i, stop - i)));
      i = stop;
    }
    pairs.push_back({std::move(keyword), std::move(value)});
  }
  return pairs;
}

}  // namespace quorvane::connection
