#include "payload/PeResources.h"

#include <algorithm>
#include <cstring>

#include "payload/PackEncode.h"
#include "text/Common.h"

namespace {

uint16_t U16At(const std::string& s, size_t at) {
  return (uint16_t)((uint8_t)s[at] | ((uint8_t)s[at + 1] << 8));
}

uint32_t U32At(const std::string& s, size_t at) {
  return (uint32_t)U16At(s, at) | ((uint32_t)U16At(s, at + 2) << 16);
}

void SetLe16(std::string& s, size_t at, uint16_t v) {
  s[at] = (char)(v & 0xFF);
  s[at + 1] = (char)(v >> 8);
}

std::string Le16Bytes(uint16_t v) {
  std::string s(2, '\0');
  SetLe16(s, 0, v);
  return s;
}

uint32_t AlignUp(uint32_t v, uint32_t a) {
  return a ? (v + a - 1) / a * a : v;
}

void PadTo4(std::string& s) {
  s.append((4 - s.size() % 4) % 4, '\0');
}

// UTF-8 to UTF-16 code units; a byte that does not start a valid sequence
// stands for itself (Latin-1).
std::u16string Utf16Of(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    uint8_t c = (uint8_t)text[i];
    int extra = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
    uint32_t cp = c;
    bool ok = extra > 0 && i + extra < text.size();
    if (ok) {
      cp = c & (0x3F >> extra);
      for (int k = 1; k <= extra && ok; ++k) {
        uint8_t d = (uint8_t)text[i + k];
        ok = (d & 0xC0) == 0x80;
        cp = (cp << 6) | (d & 0x3F);
      }
      ok = ok && cp <= 0x10FFFF && !(cp >= 0xD800 && cp < 0xE000);
    }
    if (!ok) {
      out += (char16_t)c;
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      out += (char16_t)(0xD800 + ((cp - 0x10000) >> 10));
      out += (char16_t)(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += (char16_t)cp;
    }
    i += extra + 1;
  }
  return out;
}

std::string Utf8Of(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    if (cp < 0x80) {
      out += (char)cp;
    } else if (cp < 0x800) {
      out += (char)(0xC0 | (cp >> 6));
      out += (char)(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += (char)(0xE0 | (cp >> 12));
      out += (char)(0x80 | ((cp >> 6) & 0x3F));
      out += (char)(0x80 | (cp & 0x3F));
    } else {
      out += (char)(0xF0 | (cp >> 18));
      out += (char)(0x80 | ((cp >> 12) & 0x3F));
      out += (char)(0x80 | ((cp >> 6) & 0x3F));
      out += (char)(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::string Utf16Bytes(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += Le16Bytes((uint16_t)c);
  return out;
}

// ------------------------------------------------------------ the image

struct TSection {
  size_t HeaderAt = 0;
  uint32_t VirtualSize = 0;
  uint32_t VirtualAddress = 0;
  uint32_t RawSize = 0;
  uint32_t RawAt = 0;
};

struct TPeLayout {
  size_t OptionalAt = 0;
  size_t DirectoriesAt = 0;  // data directories
  size_t SectionTableAt = 0;
  uint32_t SectionAlignment = 0;
  uint32_t FileAlignment = 0;
  uint32_t SizeOfHeaders = 0;
  std::vector<TSection> Sections;

  uint32_t Directory(const std::string& image, int k, uint32_t& size) const {
    size = U32At(image, DirectoriesAt + 8 * k + 4);
    return U32At(image, DirectoriesAt + 8 * k);
  }
  // File offset of `length` bytes at the virtual address `rva`; false when
  // they do not lie in the raw data of one section.
  bool FileOffset(uint32_t rva, uint32_t length, size_t imageSize, size_t& at) const {
    for (const TSection& s : Sections) {
      uint64_t end = (uint64_t)rva + length;
      if (rva >= s.VirtualAddress && end <= (uint64_t)s.VirtualAddress + s.RawSize &&
          (uint64_t)s.RawAt + s.RawSize <= imageSize) {
        at = s.RawAt + (rva - s.VirtualAddress);
        return true;
      }
    }
    return false;
  }
};

const int KResourceDirectory = 2;
const int KSecurityDirectory = 4;

bool ReadLayout(const std::string& image, TPeLayout& pe, std::string& error) {
  error = "not a Windows program image";
  if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') return false;
  size_t lfanew = U32At(image, 0x3C);
  if (lfanew > image.size() || image.size() - lfanew < 24 + 112 ||
      image.compare(lfanew, 4, std::string("PE\0\0", 4)) != 0)
    return false;
  uint16_t count = U16At(image, lfanew + 6);
  uint16_t optionalSize = U16At(image, lfanew + 20);
  pe.OptionalAt = lfanew + 24;
  uint16_t magic = U16At(image, pe.OptionalAt);
  if (magic != 0x10B && magic != 0x20B) return false;
  bool wide = magic == 0x20B;
  pe.DirectoriesAt = pe.OptionalAt + (wide ? 112 : 96);
  uint32_t directories = U32At(image, pe.OptionalAt + (wide ? 108 : 92));
  pe.SectionTableAt = pe.OptionalAt + optionalSize;
  if (directories <= KSecurityDirectory || pe.DirectoriesAt + 8 * 5 > pe.SectionTableAt ||
      pe.SectionTableAt + 40ull * count > image.size())
    return false;
  pe.SectionAlignment = U32At(image, pe.OptionalAt + 32);
  pe.FileAlignment = U32At(image, pe.OptionalAt + 36);
  pe.SizeOfHeaders = U32At(image, pe.OptionalAt + 60);
  pe.Sections.clear();
  for (uint16_t i = 0; i < count; ++i) {
    TSection s;
    s.HeaderAt = pe.SectionTableAt + 40 * i;
    s.VirtualSize = U32At(image, s.HeaderAt + 8);
    s.VirtualAddress = U32At(image, s.HeaderAt + 12);
    s.RawSize = U32At(image, s.HeaderAt + 16);
    s.RawAt = U32At(image, s.HeaderAt + 20);
    pe.Sections.push_back(s);
  }
  error.clear();
  return true;
}

// ------------------------------------------------------------ the tree

// Bounds of what a tree may give: directories of a damaged tree may share
// their entries, so that a small tree would name an enormous number of
// resources.
const size_t KMaxResources = 65536;
const uint64_t KMaxResourceBytes = 64ull << 20;

// Reads the tree below the directory at `dir` (an offset into the section
// bytes `tree`); `level` 0 is the types, 1 the names, 2 the languages.
bool ReadDirectory(const std::string& image, const TPeLayout& pe, const std::string& tree,
                   uint32_t dir, int level, TPeResource& path, std::vector<TPeResource>& resources,
                   uint64_t& bytes) {
  if ((uint64_t)dir + 16 > tree.size()) return false;
  uint32_t entries = (uint32_t)U16At(tree, dir + 12) + U16At(tree, dir + 14);
  if ((uint64_t)dir + 16 + 8ull * entries > tree.size()) return false;
  for (uint32_t i = 0; i < entries; ++i) {
    uint32_t nameField = U32At(tree, dir + 16 + 8 * i);
    uint32_t target = U32At(tree, dir + 20 + 8 * i);
    TResId id;
    if (nameField & 0x80000000u) {
      uint32_t at = nameField & 0x7FFFFFFFu;
      if ((uint64_t)at + 2 > tree.size()) return false;
      uint16_t length = U16At(tree, at);
      if ((uint64_t)at + 2 + 2ull * length > tree.size()) return false;
      std::u16string name;
      for (uint16_t k = 0; k < length; ++k) name += (char16_t)U16At(tree, at + 2 + 2 * k);
      id.Name = Utf8Of(name);
    } else {
      id.Id = (uint16_t)nameField;
    }
    bool isDirectory = (target & 0x80000000u) != 0;
    target &= 0x7FFFFFFFu;
    if (level == 0) path.Type = id;
    if (level == 1) path.Name = id;
    if (level < 2) {
      if (!isDirectory ||
          !ReadDirectory(image, pe, tree, target, level + 1, path, resources, bytes))
        return false;
      continue;
    }
    if (isDirectory || (uint64_t)target + 16 > tree.size()) return false;
    path.Language = id.Id;
    uint32_t rva = U32At(tree, target);
    uint32_t size = U32At(tree, target + 4);
    path.CodePage = U32At(tree, target + 8);
    size_t at = 0;
    bytes += size;
    if (!pe.FileOffset(rva, size, image.size(), at) || bytes > KMaxResourceBytes ||
        resources.size() >= KMaxResources)
      return false;
    path.Data = image.substr(at, size);
    resources.push_back(path);
  }
  return true;
}

bool LessId(const TResId& a, const TResId& b) {
  // Named entries come first, sorted by name; then numbers in order.
  if (a.Name.empty() != b.Name.empty()) return !a.Name.empty();
  if (!a.Name.empty()) return Utf16Of(a.Name) < Utf16Of(b.Name);
  return a.Id < b.Id;
}

bool SameId(const TResId& a, const TResId& b) {
  return a.Name == b.Name && a.Id == b.Id;
}

// The section bytes of a tree for the virtual address `base`.
std::string BuildTree(std::vector<TPeResource> resources, uint32_t base) {
  for (auto& r : resources) {
    r.Type.Name = UpperCase(r.Type.Name);
    r.Name.Name = UpperCase(r.Name.Name);
  }
  std::stable_sort(resources.begin(), resources.end(),
                   [](const TPeResource& a, const TPeResource& b) {
                     if (!SameId(a.Type, b.Type)) return LessId(a.Type, b.Type);
                     if (!SameId(a.Name, b.Name)) return LessId(a.Name, b.Name);
                     return a.Language < b.Language;
                   });
  // Group: types -> names -> resource indexes.
  std::vector<std::vector<std::vector<size_t>>> types;
  for (size_t i = 0; i < resources.size(); ++i) {
    if (i == 0 || !SameId(resources[i].Type, resources[i - 1].Type)) types.emplace_back();
    auto& names = types.back();
    if (names.empty() || !SameId(resources[i].Name, resources[names.back()[0]].Name))
      names.emplace_back();
    names.back().push_back(i);
  }
  // Layout: the directories level by level, the data entries, the names,
  // then the data.
  uint32_t at = 16 + 8 * (uint32_t)types.size();
  std::vector<uint32_t> typeDirAt, nameDirAt;
  for (auto& names : types) {
    typeDirAt.push_back(at);
    at += 16 + 8 * (uint32_t)names.size();
  }
  for (auto& names : types)
    for (auto& langs : names) {
      nameDirAt.push_back(at);
      at += 16 + 8 * (uint32_t)langs.size();
    }
  uint32_t dataEntriesAt = at;
  at += 16 * (uint32_t)resources.size();
  std::string strings;
  auto nameField = [&](const TResId& id) -> uint32_t {
    if (id.Name.empty()) return id.Id;
    uint32_t offset = at + (uint32_t)strings.size();
    std::u16string name = Utf16Of(id.Name);
    strings += Le16Bytes((uint16_t)name.size()) + Utf16Bytes(name);
    return 0x80000000u | offset;
  };
  std::string dirs;
  auto directory = [&](size_t count) {
    std::string d(16, '\0');
    SetLe16(d, 14, (uint16_t)count);
    return d;
  };
  auto entry = [&](uint32_t name, uint32_t target) { return Le32Bytes(name) + Le32Bytes(target); };
  // Named entries are counted apart from numbered ones.
  auto setCounts = [&](std::string& d, const std::vector<const TResId*>& ids) {
    uint16_t named = 0;
    for (auto* id : ids) named += id->Name.empty() ? 0 : 1;
    SetLe16(d, 12, named);
    SetLe16(d, 14, (uint16_t)(ids.size() - named));
  };
  {
    std::string root = directory(types.size());
    std::vector<const TResId*> ids;
    for (size_t t = 0; t < types.size(); ++t) {
      ids.push_back(&resources[types[t][0][0]].Type);
      root += entry(nameField(*ids.back()), 0x80000000u | typeDirAt[t]);
    }
    setCounts(root, ids);
    dirs += root;
  }
  size_t n = 0;
  for (auto& names : types) {
    std::string d = directory(names.size());
    std::vector<const TResId*> ids;
    for (auto& langs : names) {
      ids.push_back(&resources[langs[0]].Name);
      d += entry(nameField(*ids.back()), 0x80000000u | nameDirAt[n++]);
    }
    setCounts(d, ids);
    dirs += d;
  }
  for (auto& names : types)
    for (auto& langs : names) {
      std::string d = directory(langs.size());
      for (size_t i : langs) d += entry(resources[i].Language, dataEntriesAt + 16 * (uint32_t)i);
      dirs += d;
    }
  std::string out = dirs;
  uint32_t dataAt = AlignUp(at + (uint32_t)strings.size(), 8);
  std::string data;
  for (auto& r : resources) {
    out += Le32Bytes(base + dataAt + (uint32_t)data.size()) + Le32Bytes((uint32_t)r.Data.size()) +
           Le32Bytes(r.CodePage) + Le32Bytes(0);
    data += r.Data;
    data.append((8 - data.size() % 8) % 8, '\0');
  }
  out += strings;
  out.resize(dataAt, '\0');
  return out + data;
}

// ------------------------------------------------------------ version

struct TVersionNode {
  std::string Key;
  std::string Value;  // raw bytes
  bool Text = false;
  std::vector<TVersionNode> Children;
};

std::string NodeBytes(const std::string& key, const std::string& value, uint16_t valueLength,
                      bool text, const std::vector<std::string>& children) {
  std::string n(6, '\0');
  SetLe16(n, 2, valueLength);
  SetLe16(n, 4, text ? 1 : 0);
  n += Utf16Bytes(Utf16Of(key)) + std::string(2, '\0');
  PadTo4(n);
  n += value;
  for (auto& c : children) {
    PadTo4(n);
    n += c;
  }
  SetLe16(n, 0, (uint16_t)n.size());
  return n;
}

std::string TextNode(const std::string& key, const std::string& value) {
  std::u16string v = Utf16Of(value);
  return NodeBytes(key, Utf16Bytes(v) + std::string(2, '\0'), (uint16_t)(v.size() + 1), true, {});
}

bool ParseNode(const std::string& s, size_t at, size_t end, TVersionNode& node, int depth) {
  if (depth > 4 || at + 6 > end) return false;
  size_t length = U16At(s, at);
  size_t valueLength = U16At(s, at + 2);
  node.Text = U16At(s, at + 4) == 1;
  if (length < 6 || at + length > end) return false;
  end = at + length;
  size_t p = at + 6;
  std::u16string key;
  while (p + 2 <= end && U16At(s, p) != 0) {
    key += (char16_t)U16At(s, p);
    p += 2;
  }
  p += 2;
  node.Key = Utf8Of(key);
  p = at + AlignUp((uint32_t)(p - at), 4);
  size_t valueBytes = node.Text ? 2 * valueLength : valueLength;
  if (p + valueBytes > end) valueBytes = p < end ? end - p : 0;
  if (p < end) node.Value = s.substr(p, valueBytes);
  p += valueBytes;
  while (true) {
    p = at + AlignUp((uint32_t)(p - at), 4);
    if (p + 6 > end) break;
    TVersionNode child;
    if (!ParseNode(s, p, end, child, depth + 1)) return false;
    p += U16At(s, p);
    node.Children.push_back(child);
  }
  return true;
}

std::string TextValue(const std::string& raw) {
  std::u16string v;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
    char16_t c = (char16_t)U16At(raw, i);
    if (c == 0) break;
    v += c;
  }
  return Utf8Of(v);
}

std::string FixedVersionBytes(const TVersionFields& f) {
  uint16_t file[4] = {0, 0, 0, 0}, product[4] = {0, 0, 0, 0};
  ParseVersionNumber(f.FileVersion, file);
  if (!ParseVersionNumber(f.ProductVersion, product)) std::copy(file, file + 4, product);
  std::string b;
  for (uint32_t v : {0xFEEF04BDu, 0x00010000u, (uint32_t)file[0] << 16 | file[1],
                     (uint32_t)file[2] << 16 | file[3], (uint32_t)product[0] << 16 | product[1],
                     (uint32_t)product[2] << 16 | product[3], 0x3Fu, 0u, 0x40004u, 1u, 0u, 0u, 0u})
    b += Le32Bytes(v);
  return b;
}

}  // namespace

bool TResId::Is(const std::string& name) const {
  return !Name.empty() && SameText(Name, name);
}

bool ReadResources(const std::string& image, std::vector<TPeResource>& resources,
                   std::string& error) {
  resources.clear();
  TPeLayout pe;
  if (!ReadLayout(image, pe, error)) return false;
  uint32_t size = 0;
  uint32_t rva = pe.Directory(image, KResourceDirectory, size);
  if (rva == 0) return true;
  // Offsets inside the tree count from its root directory: the tree is the
  // bytes from there to the end of the section's raw data.
  for (const TSection& s : pe.Sections) {
    if (rva < s.VirtualAddress || rva >= s.VirtualAddress + std::max(s.VirtualSize, s.RawSize))
      continue;
    size_t at = 0;
    uint32_t length = s.VirtualAddress + std::min(s.RawSize, std::max(s.VirtualSize, 1u)) - rva;
    if (!pe.FileOffset(rva, length, image.size(), at)) break;
    TPeResource path;
    uint64_t bytes = 0;
    if (ReadDirectory(image, pe, image.substr(at, length), 0, 0, path, resources, bytes))
      return true;
    break;
  }
  resources.clear();
  error = "the resource tree of the image is damaged";
  return false;
}

bool WriteResources(std::string& image, const std::vector<TPeResource>& resources,
                    std::string& error) {
  TPeLayout pe;
  if (!ReadLayout(image, pe, error)) return false;
  uint32_t size = 0;
  if (pe.Directory(image, KSecurityDirectory, size) != 0 || size != 0) {
    error = "the stub carries a signature; sign the setup after the build instead";
    return false;
  }
  if (pe.Sections.empty() || pe.SectionAlignment == 0 || pe.FileAlignment == 0) {
    error = "not a Windows program image";
    return false;
  }
  uint32_t resourceRva = pe.Directory(image, KResourceDirectory, size);
  const TSection* last = &pe.Sections[0];
  uint64_t rawEnd = 0;
  for (const TSection& s : pe.Sections) {
    if (s.VirtualAddress > last->VirtualAddress) last = &s;
    if (s.RawSize) rawEnd = std::max<uint64_t>(rawEnd, (uint64_t)s.RawAt + s.RawSize);
  }
  if (rawEnd < image.size()) {
    error = "the stub has data after its last section";
    return false;
  }
  TSection target;
  bool replace = resourceRva != 0 && resourceRva >= last->VirtualAddress &&
                 resourceRva < last->VirtualAddress + std::max(last->VirtualSize, last->RawSize) &&
                 (uint64_t)last->RawAt + last->RawSize >= rawEnd;
  if (replace) {
    // The resource section is last: rebuild it in place.
    target = *last;
    image.resize(target.RawAt);
  } else {
    // Append a section; its header goes into the padding after the table.
    target.HeaderAt = pe.SectionTableAt + 40 * pe.Sections.size();
    uint32_t firstRaw = pe.SizeOfHeaders;
    for (const TSection& s : pe.Sections)
      if (s.RawSize) firstRaw = std::min(firstRaw, s.RawAt);
    if (target.HeaderAt + 40 > firstRaw ||
        image.find_first_not_of('\0', target.HeaderAt) < target.HeaderAt + 40) {
      error = "the stub has no room for one more section header";
      return false;
    }
    target.VirtualAddress = AlignUp(
        last->VirtualAddress + std::max(last->VirtualSize, last->RawSize), pe.SectionAlignment);
    target.RawAt = AlignUp((uint32_t)image.size(), pe.FileAlignment);
    image.resize(target.RawAt, '\0');
    uint16_t count = (uint16_t)(pe.Sections.size() + 1);
    SetLe16(image, pe.OptionalAt - 18, count);  // NumberOfSections
    image.replace(target.HeaderAt, 8, std::string(".rsrc\0\0\0", 8));
    SetLe32(image, target.HeaderAt + 36, 0x40000040u);  // initialised data, readable
  }
  std::string bytes = BuildTree(resources, target.VirtualAddress);
  uint32_t rawSize = AlignUp((uint32_t)bytes.size(), pe.FileAlignment);
  image += bytes;
  image.resize(target.RawAt + rawSize, '\0');
  SetLe32(image, target.HeaderAt + 8, (uint32_t)bytes.size());
  SetLe32(image, target.HeaderAt + 12, target.VirtualAddress);
  SetLe32(image, target.HeaderAt + 16, rawSize);
  SetLe32(image, target.HeaderAt + 20, target.RawAt);
  SetLe32(image, pe.DirectoriesAt + 8 * KResourceDirectory, target.VirtualAddress);
  SetLe32(image, pe.DirectoriesAt + 8 * KResourceDirectory + 4, (uint32_t)bytes.size());
  SetLe32(image, pe.OptionalAt + 56,
          AlignUp(target.VirtualAddress + (uint32_t)bytes.size(), pe.SectionAlignment));
  size_t checksumAt = pe.OptionalAt + 64;
  if (U32At(image, checksumAt) != 0) SetLe32(image, checksumAt, PeChecksum(image, checksumAt));
  return true;
}

uint64_t PeChecksumAdd(uint64_t sum, const char* bytes, size_t n, uint64_t at, size_t checksumAt) {
  for (size_t i = 0; i < n; i += 2) {
    if (at + i >= checksumAt && at + i < checksumAt + 4) continue;
    uint32_t word = (uint8_t)bytes[i];
    if (i + 1 < n) word |= (uint32_t)(uint8_t)bytes[i + 1] << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return sum;
}

uint32_t PeChecksumEnd(uint64_t sum, uint64_t length) {
  sum = (sum & 0xFFFF) + (sum >> 16);
  return (uint32_t)(sum + length);
}

uint32_t PeChecksum(const std::string& bytes, size_t checksumAt) {
  return PeChecksumEnd(PeChecksumAdd(0, bytes.data(), bytes.size(), 0, checksumAt), bytes.size());
}

size_t PeChecksumOffset(const std::string& head) {
  TPeLayout pe;
  std::string error;
  return ReadLayout(head, pe, error) ? pe.OptionalAt + 64 : 0;
}

// ------------------------------------------------------------------ icons

bool ReadIcoFile(const std::string& bytes, std::vector<TIconImage>& images, std::string& error) {
  images.clear();
  error = "not an icon file (.ico)";
  if (bytes.size() < 6 || U16At(bytes, 0) != 0 || U16At(bytes, 2) != 1) return false;
  uint16_t count = U16At(bytes, 4);
  if (count == 0 || count > 64 || bytes.size() < 6 + 16ull * count) return false;
  for (uint16_t i = 0; i < count; ++i) {
    size_t e = 6 + 16 * i;
    uint32_t size = U32At(bytes, e + 8);
    uint32_t at = U32At(bytes, e + 12);
    if (size < 40 || (uint64_t)at + size > bytes.size()) return false;
    TIconImage img;
    img.Width = (uint8_t)bytes[e] ? (uint8_t)bytes[e] : 256;
    img.Height = (uint8_t)bytes[e + 1] ? (uint8_t)bytes[e + 1] : 256;
    img.BitCount = U16At(bytes, e + 6);
    img.Data = bytes.substr(at, size);
    // Some files leave the bit count to the image: a bitmap header's or, for
    // a PNG image, 32.
    if (img.BitCount == 0)
      img.BitCount = img.Data.compare(0, 4, "\x89PNG") == 0 ? 32 : U16At(img.Data, 14);
    images.push_back(img);
  }
  error.clear();
  return true;
}

void SetGroupIcon(std::vector<TPeResource>& resources, const std::string& name,
                  const std::vector<TIconImage>& images) {
  uint16_t language = 0x0409;
  std::vector<uint16_t> oldIcons;
  for (auto& r : resources)
    if (r.Type.Is(KRtGroupIcon) && r.Name.Is(name)) {
      language = r.Language;
      for (size_t e = 6; e + 14 <= r.Data.size(); e += 14)
        oldIcons.push_back(U16At(r.Data, e + 12));
    }
  resources.erase(std::remove_if(resources.begin(), resources.end(),
                                 [&](const TPeResource& r) {
                                   if (r.Type.Is(KRtGroupIcon)) return r.Name.Is(name);
                                   return r.Type.Is(KRtIcon) &&
                                          std::find(oldIcons.begin(), oldIcons.end(), r.Name.Id) !=
                                              oldIcons.end();
                                 }),
                  resources.end());
  uint16_t next = 1;
  for (auto& r : resources)
    if (r.Type.Is(KRtIcon) && r.Name.Name.empty()) next = std::max<uint16_t>(next, r.Name.Id + 1);

  TPeResource group;
  group.Type.Id = KRtGroupIcon;
  group.Name.Name = UpperCase(name);
  group.Language = language;
  group.Data = Le16Bytes(0) + Le16Bytes(1) + Le16Bytes((uint16_t)images.size());
  for (const TIconImage& img : images) {
    TPeResource icon;
    icon.Type.Id = KRtIcon;
    icon.Name.Id = next++;
    icon.Language = language;
    icon.Data = img.Data;
    resources.push_back(icon);
    std::string e(14, '\0');
    e[0] = (char)(img.Width >= 256 ? 0 : img.Width);
    e[1] = (char)(img.Height >= 256 ? 0 : img.Height);
    e[2] = (char)(img.BitCount < 8 ? 1 << img.BitCount : 0);
    SetLe16(e, 4, 1);
    SetLe16(e, 6, (uint16_t)img.BitCount);
    SetLe32(e, 8, (uint32_t)img.Data.size());
    SetLe16(e, 12, icon.Name.Id);
    group.Data += e;
  }
  resources.push_back(group);
}

std::vector<TIconImage> GroupIconImages(const std::vector<TPeResource>& resources,
                                        const std::string& name) {
  std::vector<TIconImage> images;
  for (auto& r : resources) {
    if (!r.Type.Is(KRtGroupIcon) || !r.Name.Is(name) || r.Data.size() < 6) continue;
    size_t count = U16At(r.Data, 4);
    for (size_t k = 0; k < count && 6 + 14 * (k + 1) <= r.Data.size(); ++k) {
      size_t e = 6 + 14 * k;
      TIconImage img;
      img.Width = (uint8_t)r.Data[e] ? (uint8_t)r.Data[e] : 256;
      img.Height = (uint8_t)r.Data[e + 1] ? (uint8_t)r.Data[e + 1] : 256;
      img.BitCount = U16At(r.Data, e + 6);
      images.push_back(img);
    }
    break;
  }
  return images;
}

// ---------------------------------------------------------------- version

bool TVersionFields::Empty() const {
  return FileVersion.empty() && ProductVersion.empty() && ProductName.empty() &&
         CompanyName.empty() && FileDescription.empty();
}

bool ParseVersionNumber(const std::string& text, uint16_t parts[4]) {
  std::string t = Trim(text);
  uint16_t out[4] = {0, 0, 0, 0};
  size_t start = 0;
  for (int k = 0; k < 4; ++k) {
    size_t dot = t.find('.', start);
    std::string part = t.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    uint64_t v = 0;
    if (!ParseUInt(part, v) || v > 65535 || part.size() != Trim(part).size()) return false;
    out[k] = (uint16_t)v;
    if (dot == std::string::npos) {
      std::copy(out, out + 4, parts);
      return true;
    }
    start = dot + 1;
  }
  return false;  // more than four parts
}

std::string BuildVersionResource(const TVersionFields& fields) {
  std::string product = fields.ProductVersion.empty() ? fields.FileVersion : fields.ProductVersion;
  std::vector<std::string> strings;
  const std::pair<const char*, const std::string*> items[] = {
      {"CompanyName", &fields.CompanyName}, {"FileDescription", &fields.FileDescription},
      {"FileVersion", &fields.FileVersion}, {"ProductName", &fields.ProductName},
      {"ProductVersion", &product},
  };
  for (auto& item : items)
    if (!item.second->empty()) strings.push_back(TextNode(item.first, *item.second));
  std::string table = NodeBytes("040904B0", "", 0, true, strings);
  std::string stringInfo = NodeBytes("StringFileInfo", "", 0, true, {table});
  std::string translation =
      NodeBytes("Translation", Le16Bytes(0x0409) + Le16Bytes(1200), 4, false, {});
  std::string varInfo = NodeBytes("VarFileInfo", "", 0, true, {translation});
  TVersionFields numbers = fields;
  numbers.ProductVersion = product;
  return NodeBytes("VS_VERSION_INFO", FixedVersionBytes(numbers), 52, false, {stringInfo, varInfo});
}

bool ReadVersionResource(const std::string& data, TVersionFields& fields) {
  TVersionNode root;
  if (!ParseNode(data, 0, data.size(), root, 0) || root.Key != "VS_VERSION_INFO") return false;
  fields = TVersionFields();
  for (auto& info : root.Children) {
    if (info.Key != "StringFileInfo" || info.Children.empty()) continue;
    for (auto& s : info.Children[0].Children) {
      std::string v = TextValue(s.Value);
      if (s.Key == "FileVersion") fields.FileVersion = v;
      if (s.Key == "ProductVersion") fields.ProductVersion = v;
      if (s.Key == "ProductName") fields.ProductName = v;
      if (s.Key == "CompanyName") fields.CompanyName = v;
      if (s.Key == "FileDescription") fields.FileDescription = v;
    }
  }
  return true;
}

void SetVersion(std::vector<TPeResource>& resources, const TVersionFields& fields) {
  TVersionFields merged = fields;
  TVersionFields old;
  for (auto& r : resources)
    if (r.Type.Is(KRtVersion) && ReadVersionResource(r.Data, old)) break;
  for (auto pair : {std::make_pair(&merged.FileVersion, &old.FileVersion),
                    std::make_pair(&merged.ProductVersion, &old.ProductVersion),
                    std::make_pair(&merged.ProductName, &old.ProductName),
                    std::make_pair(&merged.CompanyName, &old.CompanyName),
                    std::make_pair(&merged.FileDescription, &old.FileDescription)})
    if (pair.first->empty()) *pair.first = *pair.second;
  // A new file version without a product version: the product version follows.
  if (!fields.FileVersion.empty() && fields.ProductVersion.empty())
    merged.ProductVersion = fields.FileVersion;
  resources.erase(std::remove_if(resources.begin(), resources.end(),
                                 [](const TPeResource& r) { return r.Type.Is(KRtVersion); }),
                  resources.end());
  TPeResource version;
  version.Type.Id = KRtVersion;
  version.Name.Id = 1;
  version.Language = 0x0409;
  version.Data = BuildVersionResource(merged);
  resources.push_back(version);
}

bool SetIconAndVersion(std::string& image, const std::string& icon, const TVersionFields& version,
                       std::string& error) {
  std::vector<TPeResource> resources;
  if (!ReadResources(image, resources, error)) return false;
  if (!icon.empty()) {
    std::vector<TIconImage> images;
    if (!ReadIcoFile(icon, images, error)) return false;
    SetGroupIcon(resources, KMainIconName, images);
  }
  if (!version.Empty()) SetVersion(resources, version);
  return WriteResources(image, resources, error);
}
