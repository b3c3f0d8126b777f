#include "output/renderer_factory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "output/text_source_renderer.h"
#include "support/host_log_capture.h"

namespace obs_sayline::test {
namespace {

class StubRenderer : public TextSourceRenderer {
public:
    std::string getName() const override { return "Stub"; }
};

// The built-ins are registered on the process's first use of the factory, so this runs in a
// fresh child process: a registration made before the first create() must win.
TEST(RendererFactoryTest, registration_before_first_create_replaces_the_built_in) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            HostLogCapture::instance().clear();
            const bool stored = RendererFactory::registerRenderer(
                1, [] { return std::make_shared<StubRenderer>(); }, RendererInfo{1, "Stub", ""});
            auto renderer = RendererFactory::create(1);
            const bool replaced = HostLogCapture::instance().contains(
                "[obs-sayline] [RendererFactory] Renderer type 1 already registered, replacing");
            std::exit(stored && renderer && renderer->getName() == "Stub" && replaced ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace obs_sayline::test
