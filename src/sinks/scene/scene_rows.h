#pragma once

#include <cstddef>
#include <string>

namespace obs_sayline {

// What the scene text needs of the host: one text source per row to hold its text. The host
// side (a private host text source per row) implements it; the sink only says how many rows
// there are and what each holds.
class ISceneRows {
public:
    virtual ~ISceneRows() = default;
    // The thread that lays out, never the graphics thread: rows up to `count` get a text
    // source where they have none (making one takes the host's locks).
    virtual void ensure(size_t count) = 0;
    // Video tick (graphics thread): how many rows have been made.
    virtual size_t count() const = 0;
    // Video tick: row `index` takes `text` in `face` (empty: the font as set); an empty text
    // empties it. A row without a text source is left out.
    virtual void write(size_t index, const std::string& text, const std::string& face) = 0;
};

}  // namespace obs_sayline
