#pragma once

namespace obs_sayline {

// The Sayline dock (View -> Docks -> "Sayline"): the sources with their status, pause and clear,
// and the live transcript. Made at module load in a host with a front end (nothing is made
// without one); taken down at the front end's exit or at module unload, whichever comes first.
// UI thread (the host's module load and unload run there).
void installSaylineDock();
void removeSaylineDock();

}  // namespace obs_sayline
