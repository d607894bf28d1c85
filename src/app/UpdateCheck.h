#pragma once

namespace qv::app {

// Asks the update feed whether a newer version exists (sets updateAvailable and
// updateDownloadLocation when the answer arrives).
void checkForUpdate();

}  // namespace qv::app
