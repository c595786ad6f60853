// The rule for the file names of payload entries, shared by the authoring
// tool (which refuses to pack such a name) and the stub (which refuses to
// write it): a name must stay inside the extraction folder and name an
// ordinary file there.
#pragma once

#include <cstddef>
#include <string>

// The longest path the stub writes through the ANSI file calls.
const std::size_t KMaxEntryPath = 259;

// Why `name` may not be written into a folder whose path has `folderLength`
// characters (without a trailing backslash), as a phrase that follows the
// name ("holds \"|\""); nullptr when the name is fine. Refused: an empty
// name; one that starts at a root or names a drive, a UNC path or a stream
// (":"); a "." or ".." part, or a part of dots and blanks only; an empty
// part; a part that ends with a dot or a blank (the system would drop them);
// a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, with
// any extension, in any case); a control character or one of < > " | ? *; a
// part longer than 255 characters or a path longer than KMaxEntryPath.
const char* EntryNameProblem(const std::string& name, std::size_t folderLength);

// A file directly inside the folder: no problem and no folder part. Names that
// must be flat (the downloaded setup file, the agent copy) pass this.
bool IsFlatEntryName(const std::string& name, std::size_t folderLength);
