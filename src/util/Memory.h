#pragma once
// The process's allocator settings.

namespace qv::util {

// Every recording starts threads of its own (encoders, the writer, the movie's thumbnail
// decoder), and glibc gives new threads new arenas, up to eight per core, each keeping freed
// memory of its own: a day of movies would grow the program by tens of MB a recording. A few
// arenas shared by all threads serve them as fast (their buffers come from pools) and keep the
// memory one recording freed reusable by the next. The allocator fixes its number of arenas when
// a second thread first allocates, so this is called before any thread starts (the program's
// first line); called later it still holds where no arena has been added yet.
void capAllocatorArenas();

}  // namespace qv::util
