#include "payload/PackProject.h"

#include "payload/UnPack.h"
#include "text/Common.h"

namespace {

std::string BaseName(const std::string& path) {
  size_t p = path.find_last_of("/\\");
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string JoinPath(const std::string& baseDir, const std::string& path) {
  if (baseDir.empty() || path.empty()) return path;
  bool absolute = path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':');
  if (absolute) return path;
  char last = baseDir.back();
  return (last == '/' || last == '\\') ? baseDir + path : baseDir + "/" + path;
}

bool ParseBool(const std::string& text, bool& value) {
  std::string v = LowerCase(Trim(text));
  if (v == "1" || v == "true" || v == "yes" || v == "on") {
    value = true;
    return true;
  }
  if (v == "0" || v == "false" || v == "no" || v == "off" || v.empty()) {
    value = false;
    return true;
  }
  return false;
}

}  // namespace

bool ParseSize(const std::string& text, uint64_t& size) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  uint64_t mult = 1;
  char last = UpCase(t.back());
  if (last == 'K' || last == 'M' || last == 'G') {
    mult = last == 'K' ? 1024ull : last == 'M' ? 1024ull * 1024 : 1024ull * 1024 * 1024;
    t.pop_back();
  }
  uint64_t n;
  if (!ParseUInt(t, n) || n > UINT64_MAX / mult) return false;
  size = n * mult;
  return true;
}

bool AddLanguageFile(TPackProject& project, const std::string& name, const std::string& path,
                     std::string& error) {
  TPackLanguage lang;
  lang.Name = Trim(name);
  uint64_t size;
  int64_t mtime;
  if (!IsRegularFile(path, size, mtime)) {
    error = "language file not found: " + Quoted(path);
    return false;
  }
  std::string text;
  if (!ReadSourceFile(path, text, error)) return false;
  if (!ParseLanguageText(text, lang, error)) {
    error = Quoted(path) + ": " + error;
    return false;
  }
  if (!CheckLanguage(lang, error)) return false;
  project.Languages.push_back(lang);
  return true;
}

bool AddFileLine(TPackProject& project, const std::string& line, const std::string& baseDir,
                 std::string& error) {
  std::string t = Trim(line);
  std::string entry, source;
  size_t eq = t.rfind('=');
  if (eq == std::string::npos) {
    source = t;
  } else {
    entry = Trim(t.substr(0, eq));
    source = Trim(t.substr(eq + 1));
  }
  if (source.empty()) {
    error = "a file line without a source file: " + Quoted(t);
    return false;
  }
  TPackEntry e;
  e.Source = JoinPath(baseDir, source);
  if (entry.empty()) entry = BaseName(source);
  size_t star = entry.find('*');
  if (star != std::string::npos) {
    e.IsEngine = true;
    e.EngineArgs = entry.substr(star + 1);
    entry = Trim(entry.substr(0, star));
  }
  e.Name = entry;
  project.Entries.push_back(e);
  return true;
}

bool ApplySetting(TPackProject& p, const std::string& section, const std::string& key,
                  const std::string& value, const std::string& baseDir, std::string& error) {
  std::string s = LowerCase(Trim(section));
  std::string k = LowerCase(Trim(key));
  std::string v = Trim(value);
  bool b = false;
  auto boolValue = [&](bool& target) {
    if (!ParseBool(v, b)) {
      error = s + "." + k + ": not 0 or 1: " + Quoted(v);
      return false;
    }
    target = b;
    return true;
  };
  auto bit = [&](uint8_t mask) {
    if (!ParseBool(v, b)) {
      error = s + "." + k + ": not 0 or 1: " + Quoted(v);
      return false;
    }
    p.Options = b ? (uint8_t)(p.Options | mask) : (uint8_t)(p.Options & ~mask);
    return true;
  };
  // Settings that are a plain text or a 0/1 flag.
  const struct {
    const char* Section;
    const char* Key;
    std::string* Text;
    bool* Flag;
  } items[] = {
      {"options", "internet", nullptr, &p.Internet},
      {"options", "ask_before_download", nullptr, &p.AskBeforeDownload},
      {"options", "make_agent_copy", nullptr, &p.MakeAgentCopy},
      {"options", "agent", nullptr, &p.IsAgent},
      {"update", "server", &p.Update.Server, nullptr},
      {"update", "info_file", &p.Update.InfoFile, nullptr},
      {"update", "agent_exe", &p.Update.AgentExe, nullptr},
      {"update", "token", &p.Update.Token, nullptr},
      {"update", "hidden", nullptr, &p.Update.Hidden},
      {"download", "location", &p.Download.Location, nullptr},
      {"download", "file_name", &p.Download.FileName, nullptr},
      {"download", "always", nullptr, &p.Download.Always},
      {"download", "token", &p.Download.Token, nullptr},
      {"download", "size", &p.Download.Size, nullptr},
      {"version", "file_version", &p.Version.FileVersion, nullptr},
      {"version", "product_version", &p.Version.ProductVersion, nullptr},
      {"version", "product_name", &p.Version.ProductName, nullptr},
      {"version", "company", &p.Version.CompanyName, nullptr},
      {"version", "description", &p.Version.FileDescription, nullptr},
  };
  for (const auto& item : items) {
    if (s != item.Section || k != item.Key) continue;
    if (s == "download") p.Download.Given = true;
    if (item.Flag) return boolValue(*item.Flag);
    *item.Text = v;
    return true;
  }
  if (s == "setup") {
    if (k == "stub") {
      p.Stub = JoinPath(baseDir, v);
      return true;
    }
    if (k == "output") {
      p.Output = JoinPath(baseDir, v);
      return true;
    }
    if (k == "icon") {
      p.Icon = JoinPath(baseDir, v);
      return true;
    }
    if (k == "volume_size") {
      if (!ParseSize(v, p.VolumeSize)) {
        error = "setup.volume_size: not a size: " + Quoted(v);
        return false;
      }
      return true;
    }
    if (k == "level") {
      uint64_t n = 0;
      if (!ParseUInt(v, n) || n < 1 || n > 9) {
        error = "setup.level: must be 1 to 9";
        return false;
      }
      p.Level = (int)n;
      return true;
    }
    if (k == "threads") {
      uint64_t n = 0;
      if (!ParseUInt(v, n) || n > 256) {
        error = "setup.threads: must be 0 (one per processor) to 256";
        return false;
      }
      p.Threads = (unsigned)n;
      return true;
    }
    if (k == "seed") {
      if (v.empty()) {
        p.HasSeed = false;
        return true;
      }
      if (!ParseUInt(v, p.Seed)) {
        error = "setup.seed: not a number: " + Quoted(v);
        return false;
      }
      p.HasSeed = true;
      return true;
    }
  } else if (s == "options") {
    if (k == "ask_temp_drive") return bit(OPT_TEMP_DRIVE_INFO);
    if (k == "span_relaunch") return bit(OPT_SPAN_RELAUNCH);
    if (k == "activity_bar") return bit(OPT_ACTIVITY_BAR);
    if (k == "agent_log") return bit(OPT_AGENT_LOG);
  } else if (s == "download") {
    p.Download.Given = true;
    if (k == "size_of") {
      uint64_t size;
      int64_t mtime;
      std::string path = JoinPath(baseDir, v);
      if (!IsRegularFile(path, size, mtime)) {
        error = "download.size_of: file not found: " + Quoted(path);
        return false;
      }
      p.Download.Size = std::to_string(size);
      return true;
    }
    if (k == "enabled") return boolValue(p.Download.Given);
  } else if (s != "update" && s != "version") {
    error = "unknown section [" + section + "]";
    return false;
  }
  error = "unknown setting " + s + "." + k;
  return false;
}

bool ParseProject(const std::string& text, const std::string& baseDir, TPackProject& project,
                  std::string& error) {
  std::string section;
  size_t start = 0;
  int lineNo = 0;
  std::string body = text;
  if (body.compare(0, 3, "\xEF\xBB\xBF") == 0) body.erase(0, 3);
  while (start <= body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    std::string t = Trim(body.substr(start, end - start));
    start = end + 1;
    ++lineNo;
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    // A ";" after a blank starts a comment.
    for (size_t i = 1; i < t.size(); ++i)
      if (t[i] == ';' && (t[i - 1] == ' ' || t[i - 1] == '\t')) {
        t = Trim(t.substr(0, i));
        break;
      }
    std::string where = "line " + std::to_string(lineNo) + ": ";
    if (t[0] == '[') {
      if (t.back() != ']') {
        error = where + "bad section line " + Quoted(t);
        return false;
      }
      section = LowerCase(Trim(t.substr(1, t.size() - 2)));
      static const char* known[] = {"setup",   "options",   "update", "download",
                                    "version", "languages", "files"};
      bool ok = false;
      for (const char* k : known) ok = ok || section == k;
      if (!ok) {
        error = where + "unknown section " + Quoted(t);
        return false;
      }
      continue;
    }
    if (section.empty()) {
      error = where + "setting outside a section: " + Quoted(t);
      return false;
    }
    bool ok;
    if (section == "files") {
      ok = AddFileLine(project, t, baseDir, error);
    } else {
      size_t eq = t.find('=');
      if (eq == std::string::npos) {
        error = where + "no \"=\" in " + Quoted(t);
        return false;
      }
      std::string key = Trim(t.substr(0, eq));
      std::string value = Trim(t.substr(eq + 1));
      if (section == "languages")
        ok = AddLanguageFile(project, key, JoinPath(baseDir, value), error);
      else
        ok = ApplySetting(project, section, key, value, baseDir, error);
    }
    if (!ok) {
      error = where + error;
      return false;
    }
  }
  return true;
}
