#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "sinks/scene/scene_rows.h"

namespace obs_sayline::test {

// Rows of the scene text without a host: each row keeps the text and face written into it.
class RecordedRows final : public ISceneRows {
public:
    struct Row {
        std::string text;
        std::string face;
    };
    void ensure(size_t count) override { rows.resize(std::max(rows.size(), count)); }
    size_t count() const override { return rows.size(); }
    void write(size_t index, const std::string& text, const std::string& face) override {
        if (index < rows.size()) rows[index] = Row{text, face};
    }
    std::vector<Row> rows;
};

}  // namespace obs_sayline::test
