// Self-delimited lists: a text whose first character is its delimiter and
// which ends with the same character, e.g. "|&OK|&Cancel|". Items are the
// texts between two consecutive delimiters, numbered from 0. A key-value item
// reads key "=" value. Any byte may be the delimiter (the language block uses
// 0x02 and 0x01).
//
// All operations are pure: they take the list by value semantics and return a
// new text or number. Operations that build a new list collect the items with
// the provisional delimiter NUL and then pick the first candidate delimiter
// that occurs in no item (Redelimit).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SUB {
public:
  SUB() = delete;

  // Delimiter used while a new list is being built.
  static constexpr char KProvisional = '\0';
  // Final delimiters in order of preference.
  static const char KCandidates[10];

  // Number of items; 0 for texts shorter than two characters or whose last
  // character differs from the first.
  static int Count(const std::string& list);
  // Item `index` (-1: the last one); `def` for an empty list, an index out
  // of range or an empty item. Items closed by a delimiter are read even
  // when the list does not end with its delimiter.
  static std::string Item(const std::string& list, int index, const std::string& def = "");
  // Item as a signed 64-bit decimal number; `def` when empty or not a number.
  static int64_t ItemInt(const std::string& list, int index, int64_t def = 0);
  // Value of the first item "key=value" (key ignores case; blanks before
  // "=" are ignored). An empty value gives ""; a missing key gives `def`.
  static std::string Value(const std::string& list, const std::string& key,
                           const std::string& def = "");
  // Index of the first item equal to `text` (ignoring case; with
  // `matchStart` an item beginning with `text` matches); `def` when none.
  static int IndexOf(const std::string& list, const std::string& text, bool matchStart = false,
                     int def = -1);
  // Whether some item equals `text`.
  static bool Contains(const std::string& list, const std::string& text, bool trim = false,
                       bool ignoreCase = true);

  // List with item `index` set to `value`, grown with empty items as needed.
  static std::string SetItem(const std::string& list, int index, const std::string& value);
  // List without item `index`; unchanged when the index is out of range.
  static std::string DeleteItem(const std::string& list, int index);
  // New list of the parts before (Keys) or after (Values) the first "=".
  static std::string Keys(const std::string& list, bool trim = false);
  static std::string Values(const std::string& list, bool trim = false);
  // New list of items keys[i] "=" values[i].
  static std::string Pairs(const std::string& keys, const std::string& values,
                           bool dropTrailingEmpty = false);
  // New list of the given texts.
  static std::string FromItems(const std::vector<std::string>& items, bool distinct = false);
  // List with the texts appended.
  static std::string AddItems(const std::string& list, const std::vector<std::string>& items,
                              bool distinct = false);
  // Same items, last first, same delimiter.
  static std::string Reverse(const std::string& list);
  // Without empty items and without repeats (trimmed, ignoring case),
  // except items in the `repeatable` list.
  static std::string Distinct(const std::string& list, const std::string& repeatable = "");
  // Without empty items at the end (atEnd) and/or at the start (atStart).
  static std::string TrimEmpty(const std::string& list, bool atEnd = true, bool atStart = false);
  // Same items under the first candidate delimiter not in the text; with
  // `wrap` a plain text becomes a one-item list first.
  static std::string Redelimit(const std::string& list, bool wrap = false);
};
