#include "texts/console_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The banner's version is the system's own text; a new version changes both.
TEST(ConsoleTexts, TheBannerNamesTheBuiltVersion) {
    const std::string banner = texts::TEXT_BANNER;
    EXPECT_EQ(banner.substr(banner.rfind(" Ver") + 4), PCMCONV_VERSION);
}

}  // namespace
