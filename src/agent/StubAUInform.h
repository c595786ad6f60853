// The news step of the update agent: instead of an update, a ".info" file
// with [General] AutoInform 1 makes a probe fetch a news page and show it in
// the inform dialog, whose button opens the publisher's link. A page shown
// (or, without a page, the link opened) records the announced version, so
// the same news is not shown again.
//
// Windows only.
#pragma once

#include <cstdint>

// The largest news page read from the agent folder.
const std::int64_t KMaxInformPage = 4 << 20;

// Fetches the page and shows it; true when it was shown or its link opened.
bool PerformAutoInform();
