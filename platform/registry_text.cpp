#include "platform/registry_text.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace platform {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kHive = "HKEY_CURRENT_USER";
constexpr std::string_view kHeaders[] = {"REGEDIT4", "Windows Registry Editor Version 5.00"};

bool isBlank(char c) { return c == ' ' || c == '\t'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string foldCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lower(c);
  return out;
}

bool startsWithFolded(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (lower(s[i]) != lower(prefix[i])) return false;
  return true;
}

std::string normaliseKey(std::string_view key) {
  std::string out(key);
  if (!out.empty() && out.front() != '\\') out.insert(out.begin(), '\\');
  while (out.size() > 1 && out.back() == '\\') out.pop_back();
  return out;
}

std::string escape(const std::string& s) {
  std::string out;
  out.reserve(s.size() + 2);
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

// The quoted string at s[pos] == '"'; pos ends after the closing quote.
// False when it is not closed.
bool unquote(std::string_view s, size_t& pos, std::string& out) {
  if (pos >= s.size() || s[pos] != '"') return false;
  out.clear();
  for (++pos; pos < s.size(); ++pos) {
    const char c = s[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c == '\\' && pos + 1 < s.size()) {
      const char n = s[++pos];
      out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      out += c;
    }
  }
  return false;
}

// "dword:" and one to eight hex digits: a hand-written "dword:0" reads as
// 0, as the registry's own editor takes it; nine digits would not fit.
// The length of the quoted string at the start of s, closing quote included;
// npos when it is not closed.
size_t quotedLength(std::string_view s) {
  for (size_t pos = 1; pos < s.size(); ++pos) {
    if (s[pos] == '"') return pos + 1;
    if (s[pos] == '\\') ++pos;
  }
  return std::string_view::npos;
}

std::optional<int32_t> parseDword(std::string_view v) {
  if (!startsWithFolded(v, "dword:")) return std::nullopt;
  size_t pos = 6;
  while (pos < v.size() && isBlank(v[pos])) ++pos;
  const std::string_view digits = v.substr(pos);
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t n = 0;
  for (char c : digits) {
    const char l = lower(c);
    const int d = l >= '0' && l <= '9' ? l - '0' : l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
    if (d < 0) return std::nullopt;
    n = n << 4 | static_cast<uint32_t>(d);
  }
  return static_cast<int32_t>(n);
}

std::string format(const RegistryValue& value) {
  if (const auto* n = std::get_if<int32_t>(&value)) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "dword:%08x", static_cast<uint32_t>(*n));
    return hex;
  }
  return '"' + escape(std::get<std::string>(value)) + '"';
}

bool endsWithBlankLine(const std::string& s) {
  const size_t n = s.size();
  return (n >= 2 && s[n - 1] == '\n' && s[n - 2] == '\n') ||
         (n >= 3 && s[n - 1] == '\n' && s[n - 2] == '\r' && s[n - 3] == '\n');
}

}  // namespace

RegistryText::RegistryText(std::string text) : m_text(std::move(text)) { parse(); }

void RegistryText::parse() {
  const std::string_view all(m_text);
  const bool bom = all.substr(0, kBom.size()) == kBom;
  m_lines.reserve(static_cast<size_t>(std::count(all.begin(), all.end(), '\n')) + 1);
  bool header = false;
  int32_t current = -1;  // the key of the section the lines are in; -1 none of ours
  size_t number = 0;
  for (size_t pos = 0; pos < all.size();) {
    ++number;
    size_t end = all.find('\n', pos);
    end = end == std::string_view::npos ? all.size() : end + 1;
    // The line without its end, the byte-order mark or blanks around it.
    size_t a = pos + (number == 1 && bom ? kBom.size() : 0), b = end;
    if (b > a && all[b - 1] == '\n') --b;
    if (b > a && all[b - 1] == '\r') --b;
    while (a < b && isBlank(all[a])) ++a;
    while (b > a && isBlank(all[b - 1])) --b;
    const std::string_view content = all.substr(a, b - a);

    Line line;
    line.begin = pos;
    line.end = end;
    if (!header) {
      if (!content.empty() && content[0] != ';' && content[0] != '#') {
        if (content != kHeaders[0] && content != kHeaders[1]) {
          m_form = Form::Foreign;
          m_foreignLine = number;
          m_lines.clear();
          m_keys.clear();
          m_keyByPath.clear();
          return;
        }
        header = true;
        m_form = Form::Sound;
        line.kind = Kind::Header;
        m_eol = end >= 2 && all[end - 1] == '\n' && all[end - 2] == '\r' ? "\r\n" : "\n";
      }
    } else if (!content.empty() && content[0] == '[') {
      // A section of this hive opens a key; any other ("[oops", another
      // hive, a deleted key) opens none, and the values under it are kept
      // as they are but belong to no key of ours.
      current = -1;
      std::string_view inner = content.substr(1);
      if (!inner.empty() && inner.back() == ']') {
        inner.remove_suffix(1);
        if (startsWithFolded(inner, kHive) && (inner.size() == kHive.size() || inner[kHive.size()] == '\\')) {
          const std::string path = normaliseKey(inner.substr(kHive.size()));
          const std::string folded = foldCase(path);
          auto it = m_keyByPath.find(folded);
          if (it == m_keyByPath.end()) {
            it = m_keyByPath.emplace(folded, static_cast<int32_t>(m_keys.size())).first;
            m_keys.push_back(Key{path, {}, -1});
          }
          current = it->second;
          line.kind = Kind::Section;
          line.key = current;
        }
      }
    } else if (!content.empty() && content[0] == '"' && current >= 0) {
      size_t at = 0;
      std::string name;
      if (unquote(content, at, name)) {
        while (at < content.size() && isBlank(content[at])) ++at;
        if (at < content.size() && content[at] == '=') {
          ++at;
          while (at < content.size() && isBlank(content[at])) ++at;
          const std::string_view v = content.substr(at);
          line.kind = Kind::Value;
          line.key = current;
          line.valueAt = static_cast<size_t>(content.data() - all.data()) + at;
          if (auto n = parseDword(v)) {
            line.value = *n;
            line.readable = true;
          } else if (!v.empty() && v[0] == '"' && v.size() <= UINT32_MAX && quotedLength(v) == v.size()) {
            line.readable = true;
            line.stringLength = static_cast<uint32_t>(v.size());
          } else if (startsWithFolded(v, "hex") && !v.empty() && v.back() == '\\') {
            // Binary values run on over lines that end with a backslash: the
            // value is all of them, so an edit replaces or removes them whole.
            std::string_view last = v;
            while (end < all.size() && !last.empty() && last.back() == '\\') {
              size_t next = all.find('\n', end);
              next = next == std::string_view::npos ? all.size() : next + 1;
              size_t c = end, d = next;
              while (d > c && (all[d - 1] == '\n' || all[d - 1] == '\r' || isBlank(all[d - 1]))) --d;
              while (c < d && isBlank(all[c])) ++c;
              last = all.substr(c, d - c);
              if (!last.empty() && (last[0] == '[' || last[0] == '"')) break;  // not a continuation
              end = next;
              line.end = end;
              number += 1;
            }
          }
          Key& key = m_keys[current];
          const int32_t index = static_cast<int32_t>(m_lines.size());
          auto [it, fresh] = key.lastOfName.try_emplace(foldCase(name), index);
          if (!fresh) {
            line.earlier = it->second;
            it->second = index;
          }
        }
      }
    }
    // New values of the key go after its last line that is not blank or a
    // comment: a line it cannot read stays above them, with the key.
    if (current >= 0 && !content.empty() && content[0] != ';' && content[0] != '#')
      m_keys[current].insertAfter = static_cast<int32_t>(m_lines.size());
    m_lines.push_back(std::move(line));
    pos = end;
  }
  m_readLines = m_lines.size();
}

int32_t RegistryText::keyIndex(const std::string& keyPath) const {
  auto it = m_keyByPath.find(foldCase(normaliseKey(keyPath)));
  return it == m_keyByPath.end() ? -1 : it->second;
}

bool RegistryText::hasKey(const std::string& keyPath) const { return keyIndex(keyPath) >= 0; }

const RegistryValue* RegistryText::find(const std::string& keyPath, const std::string& name) const {
  const int32_t k = keyIndex(keyPath);
  if (k < 0) return nullptr;
  auto it = m_keys[k].lastOfName.find(foldCase(name));
  if (it == m_keys[k].lastOfName.end()) return nullptr;
  // A later line of the name that cannot be read does not hide an earlier one.
  for (int32_t i = it->second; i >= 0; i = m_lines[i].earlier)
    if (const Line& line = m_lines[i]; !line.removed && line.readable) {
      if (!line.value) {
        size_t at = 0;
        std::string text;
        unquote(std::string_view(m_text).substr(line.valueAt, line.stringLength), at, text);
        line.value = std::move(text);
      }
      return &*line.value;
    }
  return nullptr;
}

int32_t RegistryText::addLine(Line line, int32_t after) {
  const int32_t index = static_cast<int32_t>(m_lines.size());
  line.added = true;
  m_lines.push_back(std::move(line));
  (after < 0 ? m_tail : m_lines[after].after).push_back(index);
  return index;
}

int32_t RegistryText::ensureKey(const std::string& keyPath) {
  if (m_form == Form::Foreign) return -1;
  if (const int32_t k = keyIndex(keyPath); k >= 0) return k;
  if (m_form == Form::Empty) {
    Line header;
    header.kind = Kind::Header;
    header.own = std::string(kHeaders[0]) + m_eol;
    addLine(std::move(header), -1);
    m_form = Form::Sound;
  }
  const std::string path = normaliseKey(keyPath);
  const int32_t k = static_cast<int32_t>(m_keys.size());
  m_keyByPath.emplace(foldCase(path), k);
  m_keys.push_back(Key{path, {}, -1});
  Line section;
  section.kind = Kind::Section;
  section.key = k;
  section.own = "[" + std::string(kHive) + path + "]" + m_eol;
  m_keys[k].insertAfter = addLine(std::move(section), -1);
  m_changed = true;
  return k;
}

bool RegistryText::addKey(const std::string& keyPath) {
  const bool had = hasKey(keyPath);
  return ensureKey(keyPath) >= 0 && !had;
}

std::string RegistryText::lineEnd(const Line& line) const {
  if (line.added) return m_eol;
  const size_t e = line.end;
  if (e > line.begin && m_text[e - 1] == '\n') return e - 1 > line.begin && m_text[e - 2] == '\r' ? "\r\n" : "\n";
  return {};
}

bool RegistryText::set(const std::string& keyPath, const std::string& name, const RegistryValue& value) {
  const int32_t k = ensureKey(keyPath);
  if (k < 0) return false;
  if (const RegistryValue* now = find(keyPath, name); now && *now == value) return false;
  Key& key = m_keys[k];
  const std::string folded = foldCase(name);
  if (auto it = key.lastOfName.find(folded); it != key.lastOfName.end()) {
    // The line that decides the value is rewritten in place, its name and
    // the blanks around "=" as they were written.
    Line& line = m_lines[it->second];
    const std::string prefix =
        line.added ? line.own.substr(0, line.valueAt) : m_text.substr(line.begin, line.valueAt - line.begin);
    line.own = prefix + format(value) + lineEnd(line);
    if (!line.added) line.rewritten = true;
    line.value = value;
    line.readable = true;
    m_changed = true;
    return true;
  }
  Line line;
  line.kind = Kind::Value;
  line.key = k;
  line.own = '"' + escape(name) + "\"=";
  line.valueAt = line.own.size();
  line.own += format(value) + m_eol;
  line.value = value;
  line.readable = true;
  key.lastOfName.emplace(folded, addLine(std::move(line), key.insertAfter));
  m_changed = true;
  return true;
}

bool RegistryText::remove(const std::string& keyPath, const std::string& name) {
  const int32_t k = keyIndex(keyPath);
  if (k < 0) return false;
  auto it = m_keys[k].lastOfName.find(foldCase(name));
  if (it == m_keys[k].lastOfName.end()) return false;
  // Every line of the name: an earlier one would read as the value otherwise.
  for (int32_t i = it->second; i >= 0; i = m_lines[i].earlier) m_lines[i].removed = true;
  m_keys[k].lastOfName.erase(it);
  m_changed = true;
  return true;
}

void RegistryText::writeLine(const Line& line, std::string& out) const {
  if (!line.removed) {
    if (line.added || line.rewritten) {
      if (!out.empty() && out.back() != '\n') out += m_eol;  // the text's last line had no end
      if (line.added && line.kind == Kind::Section && !out.empty() && !endsWithBlankLine(out)) out += m_eol;
      out += line.own;
    } else {
      out.append(m_text, line.begin, line.end - line.begin);
    }
  }
  for (int32_t i : line.after) writeLine(m_lines[i], out);
}

std::string RegistryText::text() const {
  if (m_form == Form::Foreign || !m_changed) return m_text;
  std::string out;
  out.reserve(m_text.size() + 256);
  for (size_t i = 0; i < m_readLines; ++i) writeLine(m_lines[i], out);
  for (int32_t i : m_tail) writeLine(m_lines[i], out);
  return out;
}

}  // namespace platform
