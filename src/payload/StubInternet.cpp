// The internet flow: local setup file or download, token check, extraction.
#include "payload/StubInternet.h"

#include <windows.h>

#include <cstring>

#include "http/CommUtils.h"
#include "http/InetHTTP.h"
#include "payload/EntryName.h"
#include "payload/StubSetup.h"
#include "payload/StubUtil.h"
#include "payload/UnPack.h"
#include "support/ExecPipe.h"
#include "support/Files.h"
#include "text/Common.h"
#include "text/LangRes0.h"
#include "ui/KMsgBox.h"
#include "ui/KProgBar.h"
#include "ui/SetupView.h"

namespace {

const char* const KDefaultAskDownload =
    "<b>INTERNET DOWNLOAD</b><p><p>Korvix will download the Setup File from the "
    "Internet...<p>Please make sure your Internet connection is properly set.<p><p>Continue "
    "with Setup?<p><P>Size: <SIZE> MB<P>";
const char* const KDefaultNoConnection = "No valid Internet Connection.<p>Can not Download File!";
// The error text of a declined download: never shown.
const char* const KDeclined = "!";

// A language text of the stub's own payload (one call site per key keeps the
// program small).
std::string LangText(const TGFileInfo& own, const char* key, const char* def) {
  return own.GetLangStr(key, def);
}

// Asks before a download; false when the user declined.
bool ConfirmDownload(const TGFileInfo& own, const std::string& buttons) {
  std::string size = SpaceMBText(static_cast<double>(StrToInt64Def(own.GetDownloadSize(), 0)));
  std::string text = ReplaceAll(LangText(own, "s11", KDefaultAskDownload), "<SIZE>", size);
  return AskYesNo(0, text, LangText(own, "Confirm", "Confirm"), own.GetLangCharset(), buttons);
}

}  // namespace

void RunInternetSetup(const std::string& tempFolder, const std::string& base,
                      const std::string& fileName) {
  TGFileInfo own(ProgramPath());
  const int charset = own.GetLangCharset();
  const std::string buttons = LangText(own, "BtnText", KDefaultBtnText);
  const std::string url = base + "/" + fileName;
  const bool hide = HasSwitch("/hide") || own.IsHiddenSetup();
  std::string payload = WithBackslash(base, true) + fileName;
  std::string error;
  bool downloaded = false;

  if (!IsFlatEntryName(fileName, tempFolder.size())) {
    // A payload that names a file outside the temporary folder is refused
    // before anything is fetched or written.
    error = fileName + "<P><P>Unable to save Extracted File!";
  } else if (!FileExists(payload)) {
    if (SetupView.SetStatusText)
      SetupView.SetStatusText(LangText(own, "s10", "Downloading File..."), own.GetLangFontName(),
                              own.GetLangFontSize(), charset);
    if (own.AskBeforeDownload() && !hide && !ConfirmDownload(own, buttons)) error = KDeclined;
    std::string systemText;
    if (!HTTP_CheckConnection(systemText)) {
      error = LangText(own, "s12", KDefaultNoConnection);
      if (!systemText.empty()) error += "<P><P>" + systemText;
    }
    HTTP_SetAbort(false);
    payload = TempFolder(true) + fileName;
    if (error.empty()) {
      std::string content;
      HWND window =
          hide || !SetupView.WindowHandle ? nullptr : static_cast<HWND>(SetupView.WindowHandle());
      HTTP_DownloadFile(window, url, payload, error, &ProgBar(), content);
      downloaded = error.empty();
      // A failed status: its body, when an HTML error page, tells more.
      if (!downloaded) error = HtmlErrorMessage("", content, url, error);
    }
    WaitPumping(0, 300);
    if (SetupView.ExtractProgress) SetupView.ExtractProgress(0, 0, 10, 0, 1, std::string());
    WaitPumping(0, 700);
  }

  if (error.empty()) {
    // A file that holds no payload is foreign too, also when the stub
    // carries no download token (both tokens would read as empty).
    TGFileInfo fetched(payload);
    if (!fetched.HasPayload() || !own.SameDownloadToken(fetched))
      error = HtmlErrorMessage(payload, "", url, "Bad Secret Token!");
  }
  if (error.empty()) ExtractAndRunEngine(tempFolder, payload, "", GetParams(), !hide);
  if (downloaded) DeleteFileA(payload.c_str());
  if (!error.empty() && error != KDeclined)
    ShowError(0, error, LangText(own, "Error", "Error"), charset, buttons);
}
