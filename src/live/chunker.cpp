#include "live/chunker.h"

namespace obs_sayline {

const char* chunkCutName(ChunkCut cut) noexcept {
    switch (cut) {
        case ChunkCut::Full:
            return "full";
        case ChunkCut::Pause:
            return "pause";
        case ChunkCut::Longest:
            return "longest";
        case ChunkCut::Stop:
            return "stop";
    }
    return "unknown";
}

}  // namespace obs_sayline
