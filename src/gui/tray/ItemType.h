#pragma once

namespace trovalo {

// Kind of a running job's row in the slide-out window (decides its image).
enum TItemType : int { itUnknown = 0, itPCSync = 1, itSync = 2, itBackup = 3, itResotre = 4, itMove = 5 };

} // namespace trovalo
