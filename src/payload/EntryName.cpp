// The entry-name rule of the authoring tool and the stub.
#include "payload/EntryName.h"

#include <cstring>

namespace {

// A device name, with any extension, names a device in every folder.
bool IsDeviceName(const char* part, std::size_t n) {
  std::size_t stem = 0;
  while (stem < n && part[stem] != '.') ++stem;
  while (stem > 0 && part[stem - 1] == ' ') --stem;
  if (stem < 3 || stem > 7) return false;
  char u[8] = {};
  for (std::size_t i = 0; i < stem; ++i)
    u[i] = part[i] >= 'a' && part[i] <= 'z' ? static_cast<char>(part[i] - 32) : part[i];
  for (const char* d : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (std::strcmp(u, d) == 0) return true;
  if (stem != 4 || (std::memcmp(u, "COM", 3) != 0 && std::memcmp(u, "LPT", 3) != 0)) return false;
  // The system also takes the superscript digits 1, 2 and 3 as port numbers.
  const unsigned char d = static_cast<unsigned char>(u[3]);
  return (d >= '1' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
}

// The problem of one part between separators, or nullptr.
const char* PartProblem(const char* part, std::size_t n) {
  if (n == 0) return "has an empty folder part";
  std::size_t dots = 0;
  while (dots < n && (part[dots] == '.' || part[dots] == ' ')) ++dots;
  if (dots == n) return "holds \"..\" or a part of dots and blanks: it leaves the folder";
  if (part[n - 1] == '.' || part[n - 1] == ' ') return "ends a part with a dot or a blank";
  if (n > 255) return "has a part longer than 255 characters";
  if (IsDeviceName(part, n)) return "is a device name";
  return nullptr;
}

}  // namespace

const char* EntryNameProblem(const std::string& name, std::size_t folderLength) {
  if (name.empty()) return "is empty";
  for (unsigned char c : name) {
    if (c < 32) return "holds a control character";
    if (c == ':') return "holds \":\" (a drive letter or a stream)";
    if (c == '|') return "holds \"|\"";
    if (std::strchr("<>\"?*", c)) return "holds a character a file name cannot hold";
  }
  if (name[0] == '\\' || name[0] == '/') return "starts with a backslash or a slash";
  const char* p = name.c_str();
  for (;;) {
    std::size_t n = std::strcspn(p, "\\/");
    if (const char* problem = PartProblem(p, n)) return problem;
    if (p[n] == '\0') break;
    p += n + 1;
  }
  if (folderLength + 1 + name.size() > KMaxEntryPath) return "makes too long a path";
  return nullptr;
}

bool IsFlatEntryName(const std::string& name, std::size_t folderLength) {
  return !EntryNameProblem(name, folderLength) && name.find_first_of("\\/") == std::string::npos;
}
