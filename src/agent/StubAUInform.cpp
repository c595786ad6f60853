#include "agent/StubAUInform.h"

#include <windows.h>

#include "agent/StubAU.h"
#include "agent/StubGlob.h"
#include "payload/UnPack.h"
#include "support/Files.h"
#include "support/KDebug.h"
#include "text/Common.h"
#include "ui/StubInformDlg.h"

namespace {

void Stage(int n) {
  DebugLine(static_cast<unsigned long>(GetCurrentProcessId()), " ==== PerformAutoInform-", n,
            " ====");
}

}  // namespace

bool PerformAutoInform() {
  AgentLog("PerformAutoInform() - START ");
  Stage(1);
  bool shown = false;
  const std::string base = DescText(KDownloadURL_UPDATE), name = DescText(KNameOfInformFile);
  if (!base.empty() && !name.empty()) {
    Stage(2);
    Agent.ShotState = 2;
    NotifyController(KNotifyUpdateDownload, 1);
    std::string error;
    const bool fetched = DownloadFileAU(base, name, 3, error);
    NotifyController(KNotifyUpdateDownload, 2);
    if (fetched) {
      Stage(3);
      // The download stored the page under the name's last element.
      const std::string page =
          ReadFilePart(ProgramFolder(true) + LastPathElement(name), KMaxInformPage, false, 0);
      std::string token, body;
      SplitTokenText(page, token, body);
      shown = ShowInform(
          AgentLinks.MainWindow ? AgentLinks.MainWindow() : nullptr, DescText(KS34), DescText(KS35),
          static_cast<int>(DescInt(KCharSet)), static_cast<int>(DescInt(KFontSize)),
          DescText(KFontName), false, static_cast<int>(DescInt(KAutoInformH)),
          static_cast<int>(DescInt(KAutoInformW)), Trim(DescText(KDownloadURL_INFORM)), body);
      if (shown) {
        WriteDescInt(KVersionOriginal, DescInt(KVersionNew));
        Stage(4);
      }
    }
  }
  AgentLog("PerformAutoInform() - END " + BoolText(shown));
  return shown;
}
