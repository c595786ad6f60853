#pragma once
// The resources of a Windows program image, read and rewritten without the
// Windows API: korvix-pack puts a setup's icon and version into its copy of
// the stub, and `list` reads them back.
//
// The resource tree has three levels (type, name, language) and ends in data
// entries that point at the bytes by their virtual address. Writing rebuilds
// the whole tree with its data as the image's last section: an old resource
// section that is last is replaced, otherwise a new section is appended and
// the resource directory points at it. SizeOfImage and the image's checksum
// follow.
#include <cstdint>
#include <string>
#include <vector>

const uint16_t KRtIcon = 3;
const uint16_t KRtGroupIcon = 14;
const uint16_t KRtVersion = 16;
const uint16_t KRtManifest = 24;
// The group icon the main window and the message boxes draw.
const char KMainIconName[] = "MAINICON";

// A resource type or name: a number, or a name (upper case, as resource
// compilers store it and as the system looks it up).
struct TResId {
  uint16_t Id = 0;  // when Name is empty
  std::string Name;
  bool Is(uint16_t id) const { return Name.empty() && Id == id; }
  bool Is(const std::string& name) const;
};

struct TVersionFields;

struct TPeResource {
  TResId Type;
  TResId Name;
  uint16_t Language = 0;
  uint32_t CodePage = 0;
  std::string Data;
};

// Every resource of the image, in tree order. An image without resources
// gives an empty list. False with `error` when the image is not a PE image
// or its resource tree is damaged.
bool ReadResources(const std::string& image, std::vector<TPeResource>& resources,
                   std::string& error);

// Replaces the image's resources by `resources` (see above). False with
// `error` when the image is not a PE image, carries a signature (which this
// would break), or has no room for one more section header.
bool WriteResources(std::string& image, const std::vector<TPeResource>& resources,
                    std::string& error);

// The image checksum of the optional header: 16-bit sum with carries of
// every word except the checksum field, plus the file length. `checksumAt`
// is the field's offset.
uint32_t PeChecksum(const std::string& bytes, size_t checksumAt);
// The same for a file read in pieces: add the `n` bytes found at the even
// offset `at`, then finish with the file length.
uint64_t PeChecksumAdd(uint64_t sum, const char* bytes, size_t n, uint64_t at, size_t checksumAt);
uint32_t PeChecksumEnd(uint64_t sum, uint64_t length);
// Offset of the checksum field of a PE image, or 0 when it is not one.
size_t PeChecksumOffset(const std::string& head);

// Replaces the group icon "MainIcon" by the images of the .ico file `icon`
// (unless empty) and the version texts that `version` gives. False with
// `error` (which names the icon when the icon is at fault).
bool SetIconAndVersion(std::string& image, const std::string& icon, const TVersionFields& version,
                       std::string& error);

// ---------------------------------------------------------------------------
// Icons.

struct TIconImage {
  int Width = 0;
  int Height = 0;
  int BitCount = 0;
  std::string Data;  // the image as stored in the .ico file
};

// The images of an .ico file. False with `error` when it is not one.
bool ReadIcoFile(const std::string& bytes, std::vector<TIconImage>& images, std::string& error);

// Replaces the group icon `name` (and the icon images it used) by `images`,
// with icon numbers above every number in use.
void SetGroupIcon(std::vector<TPeResource>& resources, const std::string& name,
                  const std::vector<TIconImage>& images);

// The images of the group icon `name` (sizes and bit counts, no data); empty
// when there is none.
std::vector<TIconImage> GroupIconImages(const std::vector<TPeResource>& resources,
                                        const std::string& name);

// ---------------------------------------------------------------------------
// Version.

struct TVersionFields {
  std::string FileVersion;     // "1.2.3.4": also the fixed file version
  std::string ProductVersion;  // the same for the product; empty: FileVersion
  std::string ProductName;
  std::string CompanyName;
  std::string FileDescription;
  bool Empty() const;
};

// "1", "1.2", "1.2.3" or "1.2.3.4", each part 0..65535; missing parts are 0.
bool ParseVersionNumber(const std::string& text, uint16_t parts[4]);

// A version resource (English, Unicode) with the given texts; the fixed
// versions come from the version texts. Texts are UTF-8.
std::string BuildVersionResource(const TVersionFields& fields);

// The texts of the first string table of a version resource. False when the
// data is not a version resource.
bool ReadVersionResource(const std::string& data, TVersionFields& fields);

// Replaces every version resource by one built from `fields`, keeping the
// stub's texts for fields left empty.
void SetVersion(std::vector<TPeResource>& resources, const TVersionFields& fields);
