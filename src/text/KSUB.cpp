// Self-delimited lists (see KSUB.h).
#include "text/KSUB.h"

#include <set>

#include "text/Common.h"

const char SUB::KCandidates[10] = {'|', '*', '~', '^', '!', '@', '#', '$', '&', '\xFF'};

namespace {

bool IsEmptyList(const std::string& list) {
  return list.empty() || (list.size() == 1 && list[0] == '\0');
}

// Items closed by a delimiter, in order. Text after the last delimiter of a
// list that does not end with its delimiter is not an item.
std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> items;
  if (IsEmptyList(list)) return items;
  const char d = list[0];
  size_t start = 1;
  for (;;) {
    size_t p = list.find(d, start);
    if (p == std::string::npos) break;
    items.push_back(list.substr(start, p - start));
    start = p + 1;
  }
  return items;
}

// The items joined under delimiter `d`; no items give the empty text.
std::string Join(const std::vector<std::string>& items, char d) {
  if (items.empty()) return std::string();
  std::string out(1, d);
  for (const std::string& s : items) {
    out += s;
    out += d;
  }
  return out;
}

// A new list of the items under the first candidate delimiter that occurs in
// no item (NUL when all ten do). This is what collecting with the provisional
// delimiter and redelimiting gives, but items that themselves hold NUL bytes
// stay intact.
std::string Build(const std::vector<std::string>& items) {
  if (items.empty()) return std::string();
  bool used[256] = {};
  for (const std::string& s : items)
    for (unsigned char c : s) used[c] = true;
  char d = SUB::KProvisional;
  for (char c : SUB::KCandidates) {
    if (!used[static_cast<unsigned char>(c)]) {
      d = c;
      break;
    }
  }
  return Join(items, d);
}

bool AnyContains(const std::vector<std::string>& items, char c) {
  for (const std::string& s : items)
    if (s.find(c) != std::string::npos) return true;
  return false;
}

}  // namespace

int SUB::Count(const std::string& list) {
  if (list.size() < 2 || list.back() != list.front()) return 0;
  const char d = list[0];
  size_t n = 0;
  for (size_t i = 1; i < list.size(); ++i)
    if (list[i] == d) ++n;
  return n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(n);
}

std::string SUB::Item(const std::string& list, int index, const std::string& def) {
  if (IsEmptyList(list)) return def;
  if (index == -1) index = Count(list) - 1;
  if (index < 0) return def;
  const char d = list[0];
  size_t start = 1;
  int counter = 0;
  for (;;) {
    size_t p = list.find(d, start);
    if (p == std::string::npos) return def;
    if (counter == index) return p == start ? def : list.substr(start, p - start);
    ++counter;
    start = p + 1;
  }
}

int64_t SUB::ItemInt(const std::string& list, int index, int64_t def) {
  std::string s = Item(list, index, "");
  if (s.empty()) return def;
  return StrToInt64Def(s, def);
}

std::string SUB::Value(const std::string& list, const std::string& key, const std::string& def) {
  if (list.size() <= 2 || list.back() != list.front()) return def;
  const char d = list[0];
  std::string pattern(1, d);
  pattern += key;
  if (key.empty() || key.back() != '=' || key == "=") pattern += '=';
  std::string work = list;
  if (work.find(' ') != std::string::npos) work = ReplaceRepeated(work, " =", "=");
  size_t p = PosNoCase(pattern, work);
  if (p == 0) return def;
  size_t start = p - 1 + pattern.size();
  size_t end = work.find(d, start);
  if (end == std::string::npos) end = work.size();
  return work.substr(start, end - start);
}

int SUB::IndexOf(const std::string& list, const std::string& text, bool matchStart, int def) {
  std::string l = UpperCase(Trim(list));
  std::string t = UpperCase(text);
  if (l.empty() || t.empty()) return def;
  const char d = l[0];
  auto pattern = [&](const std::string& s) {
    std::string p(1, d);
    p += s;
    if (!matchStart) p += d;
    return p;
  };
  size_t p = Pos(pattern(t), l);
  if (p == 0) p = Pos(pattern(Trim(t)), l);
  if (p == 0) return def;
  // Delimiters from the second character up to and including position p.
  int index = 0;
  for (size_t i = 1; i < p; ++i)
    if (l[i] == d) ++index;
  return index;
}

bool SUB::Contains(const std::string& list, const std::string& text, bool trim, bool ignoreCase) {
  std::string l = trim ? Trim(list) : list;
  std::string t = trim ? Trim(text) : text;
  if (l.empty() || t.empty()) return false;
  std::string pattern(1, l[0]);
  pattern += t;
  pattern += l[0];
  return (ignoreCase ? PosNoCase(pattern, l) : Pos(pattern, l)) > 0;
}

std::string SUB::SetItem(const std::string& list, int index, const std::string& value) {
  if (index < 0) return list;
  const std::string l = IsEmptyList(list) ? std::string("|") : list;
  const char d = l[0];
  std::vector<std::string> items = Split(l);
  size_t n = static_cast<size_t>(Count(l));
  if (static_cast<size_t>(index) + 1 > n) n = static_cast<size_t>(index) + 1;
  items.resize(n);
  items[static_cast<size_t>(index)] = value;
  if (AnyContains(items, d)) return Build(items);
  return Join(items, d);
}

std::string SUB::DeleteItem(const std::string& list, int index) {
  if (index < 0 || index >= Count(list)) return list;
  std::vector<std::string> items = Split(list);
  items.erase(items.begin() + index);
  return Join(items, list[0]);
}

static std::string KeysOrValues(const std::string& list, bool trim, bool keys) {
  std::vector<std::string> parts;
  for (const std::string& item : Split(list)) {
    std::string s = keys ? TextBefore(item, "=", item) : TextAfter(item, "=", "");
    parts.push_back(trim ? Trim(s) : s);
  }
  return Build(parts);
}

std::string SUB::Keys(const std::string& list, bool trim) {
  return KeysOrValues(list, trim, true);
}

std::string SUB::Values(const std::string& list, bool trim) {
  return KeysOrValues(list, trim, false);
}

std::string SUB::Pairs(const std::string& keys, const std::string& values, bool dropTrailingEmpty) {
  std::string k = dropTrailingEmpty ? TrimEmpty(keys, true, false) : keys;
  std::string v = dropTrailingEmpty ? TrimEmpty(values, true, false) : values;
  std::vector<std::string> ki = Split(k), vi = Split(v);
  const size_t n = static_cast<size_t>(MaxInt64(Count(k), Count(v)));
  ki.resize(n);
  vi.resize(n);
  std::vector<std::string> items;
  for (size_t i = 0; i < n; ++i) items.push_back(ki[i] + "=" + vi[i]);
  return Build(items);
}

std::string SUB::FromItems(const std::vector<std::string>& items, bool distinct) {
  std::string out = Build(items);
  return distinct ? Distinct(out) : out;
}

std::string SUB::AddItems(const std::string& list, const std::vector<std::string>& items,
                          bool distinct) {
  if (IsEmptyList(list)) return FromItems(items, distinct);
  const char d = list[0];
  std::string out;
  if (!AnyContains(items, d)) {
    out = list;
    for (const std::string& s : items) {
      out += s;
      out += d;
    }
  } else {
    std::vector<std::string> all = Split(list);
    all.insert(all.end(), items.begin(), items.end());
    out = Build(all);
  }
  return distinct ? Distinct(out) : out;
}

std::string SUB::Reverse(const std::string& list) {
  std::vector<std::string> items = Split(list);
  if (items.empty()) return list;
  std::vector<std::string> rev(items.rbegin(), items.rend());
  return Join(rev, list[0]);
}

std::string SUB::Distinct(const std::string& list, const std::string& repeatable) {
  std::vector<std::string> kept;
  std::set<std::string> seen;
  for (const std::string& item : Split(list)) {
    if (item.empty()) continue;
    std::string key = UpperCase(Trim(item));
    if (seen.insert(key).second || Contains(repeatable, item, true, true)) kept.push_back(item);
  }
  return Join(kept, IsEmptyList(list) ? '|' : list[0]);
}

std::string SUB::TrimEmpty(const std::string& list, bool atEnd, bool atStart) {
  std::vector<std::string> items = Split(list);
  if (items.empty()) return list.size() == 1 ? std::string() : list;
  size_t first = 0, last = items.size();
  if (atEnd)
    while (last > first && items[last - 1].empty()) --last;
  if (atStart)
    while (first < last && items[first].empty()) ++first;
  std::vector<std::string> kept(items.begin() + first, items.begin() + last);
  return Join(kept, list[0]);
}

std::string SUB::Redelimit(const std::string& list, bool wrap) {
  std::string s = list;
  if (wrap) {
    s.insert(s.begin(), KProvisional);
    s.push_back(KProvisional);
  }
  if (s.empty()) return s;
  if (s.find(KProvisional) == std::string::npos) s = ReplaceChar(s, s[0], KProvisional);
  for (char c : KCandidates) {
    if (s.find(c) == std::string::npos) {
      s = ReplaceChar(s, KProvisional, c);
      break;
    }
  }
  return s.size() == 1 ? std::string() : s;
}
