// korvix-pack: builds a Korvix setup from a stub and a project description,
// and lists what a built setup holds.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "payload/PackX.h"
#include "payload/PeResources.h"
#include "payload/UnPack.h"
#include "payload/ZLibOpen.h"
#include "text/KSUB.h"

namespace {

const char* KUsage =
    "korvix-pack: builds Korvix setups and lists what they hold.\n"
    "\n"
    "usage:\n"
    "  korvix-pack build [PROJECT.ini] [options]   build a setup\n"
    "  korvix-pack list [--tokens] SETUP           list a setup and check it\n"
    "  korvix-pack --help                          this text\n"
    "\n"
    "build options (they override the project file; relative paths on the\n"
    "command line are taken from the current folder, in the project file from\n"
    "the project file's folder):\n"
    "  --stub PATH                the stub program (MZ at 0, PE at 256)\n"
    "  -o, --output PATH          the setup to write\n"
    "  --file [ENTRY=]SOURCE      add a file; ENTRY defaults to SOURCE's name\n"
    "  --engine [ENTRY=]SOURCE    add the file that runs after extraction (\"*\");\n"
    "                             ENTRY may carry extra text: \"Engine.exe* /silent\"\n"
    "  --language NAME=FILE       add a language text file of key=value lines\n"
    "  --volume-size SIZE         cut the setup into volumes of SIZE bytes\n"
    "                             (suffix K, M or G); 0 = one file\n"
    "  --level N                  zlib level 1 to 9 (default 9)\n"
    "  --threads N                compressing threads (default: one per processor)\n"
    "  --seed N                   fixed seed for the token fillers, so that the\n"
    "                             same input gives the same bytes\n"
    "  --icon FILE.ico            the setup's icon (replaces the stub's \"MainIcon\")\n"
    "  --file-version V           version resource of the setup: file version\n"
    "                             (1 to 4 numbers, e.g. 2.1.0.7), and\n"
    "  --product-version V, --product-name TEXT, --company TEXT,\n"
    "  --description TEXT         the other fields; those not given keep the stub's\n"
    "  --set SECTION.KEY=VALUE    any project setting, e.g.\n"
    "                             --set options.activity_bar=1\n"
    "  -q, --quiet                print errors and warnings only\n"
    "\n"
    "list prints the trailer, option bits, settings, languages and every entry\n"
    "of the setup and of each further volume, inflates every record and checks\n"
    "each volume's checksum; exit code 1 when something is damaged or missing.\n"
    "--tokens also prints the tokens in plain.\n"
    "\n"
    "Project file sections: [setup] stub, output, icon, volume_size, level,\n"
    "threads, seed; [version] file_version, product_version, product_name,\n"
    "company, description; "
    "[options] ask_temp_drive, span_relaunch, activity_bar, agent_log, internet,\n"
    "ask_before_download, make_agent_copy, agent; [update] server, info_file,\n"
    "agent_exe, token, hidden; [download] location, file_name, always, token,\n"
    "size, size_of; [languages] NAME = FILE; [files] SOURCE or ENTRY = SOURCE.\n"
    "See README.md for an example.\n";

int Fail(const std::string& text, int code = 1) {
  std::cerr << "korvix-pack: error: " << text << "\n";
  return code;
}

bool ReadText(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  text = ss.str();
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t p = path.find_last_of("/\\");
  return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

// ------------------------------------------------------------------ build

// "--file-version" -> "file_version".
std::string UnderscoreName(const std::string& option) {
  std::string name = option.substr(2);
  for (char& c : name)
    if (c == '-') c = '_';
  return name;
}

int Build(const std::vector<std::string>& args) {
  TPackProject project;
  std::string error;
  bool quiet = false;
  size_t i = 0;
  if (i < args.size() && !args[i].empty() && args[i][0] != '-') {
    std::string text;
    if (!ReadText(args[i], text)) return Fail("project file not found: " + args[i]);
    if (!ParseProject(text, FolderOf(args[i]), project, error)) return Fail(args[i] + ": " + error);
    ++i;
  }
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "-q" || a == "--quiet") {
      quiet = true;
      continue;
    }
    if (!value(v))
      return Fail(a.rfind("--", 0) == 0 || a == "-o" ? "missing value after " + a
                                                     : "unknown argument " + a + " (see --help)",
                  2);
    bool ok = true;
    if (a == "--stub")
      ok = ApplySetting(project, "setup", "stub", v, "", error);
    else if (a == "-o" || a == "--output")
      ok = ApplySetting(project, "setup", "output", v, "", error);
    else if (a == "--volume-size")
      ok = ApplySetting(project, "setup", "volume_size", v, "", error);
    else if (a == "--level")
      ok = ApplySetting(project, "setup", "level", v, "", error);
    else if (a == "--threads")
      ok = ApplySetting(project, "setup", "threads", v, "", error);
    else if (a == "--seed")
      ok = ApplySetting(project, "setup", "seed", v, "", error);
    else if (a == "--icon")
      ok = ApplySetting(project, "setup", "icon", v, "", error);
    else if (a == "--file-version" || a == "--product-version" || a == "--product-name")
      ok = ApplySetting(project, "version", UnderscoreName(a), v, "", error);
    else if (a == "--company" || a == "--description")
      ok = ApplySetting(project, "version", a.substr(2), v, "", error);
    else if (a == "--file")
      ok = AddFileLine(project, v, "", error);
    else if (a == "--engine") {
      ok = AddFileLine(project, v, "", error);
      if (ok) project.Entries.back().IsEngine = true;
    } else if (a == "--language") {
      size_t eq = v.find('=');
      if (eq == std::string::npos) return Fail("--language needs NAME=FILE", 2);
      ok = AddLanguageFile(project, v.substr(0, eq), v.substr(eq + 1), error);
    } else if (a == "--set") {
      size_t dot = v.find('.');
      size_t eq = v.find('=');
      if (dot == std::string::npos || eq == std::string::npos || dot > eq)
        return Fail("--set needs SECTION.KEY=VALUE", 2);
      ok = ApplySetting(project, v.substr(0, dot), v.substr(dot + 1, eq - dot - 1),
                        v.substr(eq + 1), "", error);
    } else {
      return Fail("unknown option " + a + " (see --help)", 2);
    }
    if (!ok) return Fail(error);
  }

  TPackReport report;
  bool ok = BuildSetup(project, report, error);
  for (auto& w : report.Warnings) std::cerr << "korvix-pack: warning: " << w << "\n";
  if (!ok) return Fail(error);
  if (!quiet) {
    for (auto& v : report.Volumes)
      std::cout << v.Path << ": " << v.Size << " bytes, " << v.Records << " file records\n";
    std::cout << report.Records << " file records (" << report.Stored << " stored), "
              << report.PlainBytes << " file bytes in " << report.OutputBytes << " setup bytes\n";
  }
  return 0;
}

// ------------------------------------------------------------------- list

std::string DosDateText(uint32_t v) {
  if (v == 0) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (v >> 25), (v >> 21) & 15,
                (v >> 16) & 31, (v >> 11) & 31, (v >> 5) & 63, (v & 31) * 2);
  return buf;
}

std::string Printable(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 32 || c == 127) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += (char)c;
    }
  }
  return out;
}

void Setting(const std::string& name, const std::string& value) {
  std::cout << "  " << std::left << std::setw(28) << name << " " << Printable(value) << "\n";
}

std::string TokenText(const TGFileInfo& info, bool update, bool plain) {
  std::string stored = update ? info.GetUpdateToken(false) : info.GetDownloadToken(false);
  if (stored.empty()) return "(none)";
  if (plain) return update ? info.GetUpdateToken(true) : info.GetDownloadToken(true);
  return "(stored scrambled, " + std::to_string(stored.size()) + " characters)";
}

void ListSettings(const TGFileInfo& info, bool tokens) {
  const TTrailer& t = info.Trailer();
  std::cout << "options\n";
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", t.Options());
  Setting("option bits (byte 65)", hex);
  Setting("ask_temp_drive (bit 0)", info.ShowTempDriveInfo() ? "1" : "0");
  Setting("next_volume (bit 1)", info.HasNextVolume() ? "1" : "0");
  Setting("span_relaunch (bit 2)", info.SpanRelaunch() ? "1" : "0");
  Setting("activity_bar (bit 3)", info.ShowActivityBar() ? "1" : "0");
  Setting("agent_log (bit 4)", info.AgentLogOn() ? "1" : "0");
  Setting("internet (byte 66)", info.IsInternetSetup() ? "1" : "0");
  Setting("ask_before_download (67)", info.AskBeforeDownload() ? "1" : "0");
  Setting("make_agent_copy (byte 68)", info.MakeAgentCopy() ? "1" : "0");
  Setting("agent (byte 69)", info.IsAutoUpdateProg() ? "1" : "0");
  std::string space;
  for (int k = 0; k < 9; ++k) space += (k ? " " : "") + std::to_string(t.SpaceRequired(k));
  Setting("space required", space);

  std::cout << "update settings\n";
  Setting("server", info.GetUpdateServer());
  Setting("info_file", SUB::Item(info.UpdateSettings(), 1));
  Setting("agent_exe", info.GetAgentExeName());
  Setting("token", TokenText(info, true, tokens));
  Setting("hidden", info.IsHiddenSetup() ? "1" : "0");
  if (info.Trailer().HeaderCount() >= 3) {
    std::cout << "download settings\n";
    Setting("location", info.GetDownloadLocation());
    Setting("file_name", info.GetDownloadFileName());
    Setting("always", info.DownloadAlways() ? "1" : "0");
    Setting("token", TokenText(info, false, tokens));
    Setting("size", info.GetDownloadSize());
  } else {
    std::cout << "download settings: none\n";
  }

  const std::string& block = info.LanguageBlock();
  int n = SUB::Count(block);
  std::cout << "languages: " << n << "\n";
  for (int i = 0; i < n; ++i) {
    std::string rec = SUB::Item(block, i);
    int items = SUB::Count(rec);
    std::cout << "  [" << Printable(SUB::Item(rec, 0)) << "] " << (items > 0 ? items - 1 : 0)
              << " keys\n";
    for (int k = 1; k < items; ++k) std::cout << "    " << Printable(SUB::Item(rec, k)) << "\n";
  }
}

// The icon and version of the setup program's stub; false when its
// resources cannot be read.
bool ListResources(const std::string& path, uint32_t stubSize) {
  std::string image(std::min<uint32_t>(stubSize, 64u << 20), '\0');
  std::ifstream in(path, std::ios::binary);
  in.read(&image[0], (std::streamsize)image.size());
  image.resize((size_t)in.gcount());
  std::vector<TPeResource> resources;
  std::string error;
  if (PeChecksumOffset(image) == 0) {
    std::cout << "resources: none (the stub is no Windows program image)\n";
    return true;
  }
  if (!ReadResources(image, resources, error)) {
    std::cout << "resources: DAMAGED: " << error << "\n";
    return false;
  }
  std::cout << "icon MainIcon:";
  std::vector<TIconImage> images = GroupIconImages(resources, KMainIconName);
  if (images.empty()) std::cout << " none";
  for (auto& img : images)
    std::cout << " " << img.Width << "x" << img.Height << "x" << img.BitCount;
  std::cout << "\n";
  TVersionFields version;
  bool found = false;
  for (auto& r : resources)
    if (r.Type.Is(KRtVersion) && ReadVersionResource(r.Data, version)) {
      found = true;
      break;
    }
  if (!found) {
    std::cout << "version: none\n";
    return true;
  }
  std::cout << "version\n";
  Setting("file_version", version.FileVersion);
  Setting("product_version", version.ProductVersion);
  Setting("product_name", version.ProductName);
  Setting("company", version.CompanyName);
  Setting("description", version.FileDescription);
  return true;
}

// Lists one volume; false when it is damaged.
bool ListVolume(const std::string& path, int number, bool hasHeaders) {
  TRecordWalk walk(path);
  std::cout << "volume " << number << ": " << path << "\n";
  if (!walk.IsOpen()) {
    std::cout << "  DAMAGED: no valid container (no trailer or wrong magic number)\n";
    return false;
  }
  const TTrailer& t = walk.Trailer();
  TPayloadFile f(path);
  bool exe = IsExeContainer(f);
  uint64_t size = f.Size();
  f.Close();
  int32_t computed = VolumeChecksum(path, t.Length());
  bool sumOK = ChecksumMatches(computed, t.Checksum());
  std::cout << "  " << (exe ? "executable container" : "volume file") << ", " << size
            << " bytes, payload end " << walk.PayloadEnd();
  if (walk.PayloadEnd() < size)
    std::cout << " (" << size - walk.PayloadEnd() << " bytes follow the payload)";
  std::cout << "\n  record area " << t.RecordArea() << ", header records "
            << (hasHeaders ? t.HeaderCount() : 0) << ", file records " << t.FileCount()
            << ", trailer length " << t.Length() << "\n";
  std::cout << "  checksum stored " << t.Checksum() << ", computed " << computed << ": "
            << (sumOK ? "ok" : "MISMATCH") << "\n";

  bool ok = sumOK;
  uint32_t files = 0;
  TRecordHeader rec;
  TRecordStatus st;
  while ((st = walk.Next(rec)) == rsRecord) {
    if (hasHeaders && walk.IsHeaderRecord(rec)) {
      std::cout << "  header record " << rec.Index << ": " << rec.DataSize << " bytes\n";
      continue;
    }
    ++files;
    TFileEntry entry;
    std::string bytes;
    bool hasEntry = false;
    std::string status = "ok";
    try {
      TRecordStatus rs = walk.ReadFileRecord(entry, bytes, hasEntry);
      if (rs != rsRecord) {
        status = "DAMAGED: record reaches past the payload";
        ok = false;
      } else if (!hasEntry) {
        status = "no entry header (skipped by the stub)";
      }
    } catch (const EZLibError& e) {
      status = std::string("DAMAGED: ") + e.what();
      ok = false;
    }
    std::cout << "  " << std::left << std::setw(32) << Printable(entry.Item0) << " "
              << std::setw(19) << DosDateText(entry.DosDateTime) << " " << std::right
              << std::setw(10) << bytes.size() << " " << std::setw(10) << rec.DataSize + 4 << " "
              << (rec.Compressed() ? "zlib  " : "stored") << " " << status << "\n";
  }
  if (st == rsDamaged) {
    std::cout << "  DAMAGED: a record reaches past the payload end\n";
    ok = false;
  }
  if (files == 0 && t.FileCount() > 0 && t.Bytes[TRL_IS_AGENT] != 0) {
    // The stub writes update-agent copies with the settings only and keeps
    // the trailer of the setup they were made from.
    std::cout << "  update-agent copy: settings only\n";
  } else if (files != t.FileCount()) {
    std::cout << "  DAMAGED: " << files << " file records found, the trailer says " << t.FileCount()
              << "\n";
    ok = false;
  }
  return ok;
}

int List(const std::vector<std::string>& args) {
  bool tokens = false;
  std::string path;
  for (auto& a : args) {
    if (a == "--tokens")
      tokens = true;
    else if (!a.empty() && a[0] == '-')
      return Fail("unknown option " + a + " (see --help)", 2);
    else if (path.empty())
      path = a;
    else
      return Fail("list takes one setup file", 2);
  }
  if (path.empty()) return Fail("list needs a setup file", 2);
  {
    std::ifstream probe(path, std::ios::binary);
    if (!probe) return Fail("setup not found: " + path);
  }
  TGFileInfo info(path);
  if (!info.HasPayload()) return Fail(path + " is not a Korvix setup (no valid payload)");
  std::cout << "setup: " << path << "\n";
  ListSettings(info, tokens);
  bool resourcesOK = ListResources(path, info.Trailer().RecordArea());

  std::cout << "volumes\n";
  bool ok = ListVolume(path, 1, true) && resourcesOK;
  TGFileInfo cur(path);
  int j = 1;
  int shown = 1;
  bool hasHeaders = true;
  if (info.SpanRelaunch()) {
    // The relaunched copy reads ".001" as its first container.
    std::string first = VolumeFileName(path, 1);
    std::ifstream probe(first, std::ios::binary);
    if (!probe) {
      std::cout << "MISSING: " << first << "\n";
      return 1;
    }
    ok = ListVolume(first, ++shown, true) && ok;
    cur = TGFileInfo(first);
  }
  while (cur.HasNextVolume()) {
    std::string next = VolumeFileName(path, ++j);
    std::ifstream probe(next, std::ios::binary);
    if (!probe) {
      std::cout << "MISSING: " << next << "\n";
      return 1;
    }
    hasHeaders = false;
    ok = ListVolume(next, ++shown, hasHeaders) && ok;
    cur = TGFileInfo(next);
    if (!cur.Trailer().MagicOK()) break;
  }
  std::cout << (ok ? "all records inflate and every checksum matches\n" : "DAMAGED\n");
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << KUsage;
    return 2;
  }
  const std::string cmd = args[0];
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::cout << KUsage;
    return 0;
  }
  std::vector<std::string> rest(args.begin() + 1, args.end());
  for (auto& a : rest)
    if (a == "--help" || a == "-h") {
      std::cout << KUsage;
      return 0;
    }
  if (cmd == "build") return Build(rest);
  if (cmd == "list") return List(rest);
  return Fail("unknown command " + cmd + " (see --help)", 2);
}
