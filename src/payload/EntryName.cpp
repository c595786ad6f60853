// The entry-name rule of the authoring tool and the stub.
#include "payload/EntryName.h"

#include "text/Common.h"

namespace {

// A device name, with any extension, names a device in every folder.
bool IsDeviceName(const std::string& part) {
  std::string stem = UpperCase(TrimRight(part.substr(0, part.find('.'))));
  for (const char* d : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (stem == d) return true;
  if (stem.size() != 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0))
    return false;
  // The system also takes the superscript digits 1, 2 and 3 as port numbers.
  const unsigned char n = static_cast<unsigned char>(stem[3]);
  return (n >= '1' && n <= '9') || n == 0xB9 || n == 0xB2 || n == 0xB3;
}

// The problem of one part between separators, or "".
std::string PartProblem(const std::string& part) {
  if (part.empty()) return "has an empty folder part";
  if (part.find_first_not_of(". ") == std::string::npos) return "leaves the folder";
  if (part.back() == '.' || part.back() == ' ') return "ends a part with a dot or a blank";
  if (part.size() > 255) return "has a part longer than 255 characters";
  if (IsDeviceName(part)) return "is a device name";
  return std::string();
}

}  // namespace

std::string EntryNameProblem(const std::string& name, std::size_t folderLength) {
  if (name.empty()) return "is empty";
  for (unsigned char c : name)
    if (c < 32) return "holds a control character";
  if (name.find(':') != std::string::npos) return "holds \":\" (a drive or a stream)";
  if (name.find_first_of("<>\"|?*") != std::string::npos)
    return "holds a character a file name cannot hold";
  if (name[0] == '\\' || name[0] == '/') return "starts at a root";
  std::size_t start = 0;
  for (;;) {
    std::size_t end = name.find_first_of("\\/", start);
    std::string problem = PartProblem(name.substr(start, end - start));
    if (!problem.empty()) return problem;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (folderLength + 1 + name.size() > KMaxEntryPath) return "makes too long a path";
  return std::string();
}
