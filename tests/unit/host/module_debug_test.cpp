#include <gtest/gtest.h>

#include "platform/host/module_debug.h"
#include "temp_dir.h"

TEST(ModuleDebug, EnvironmentRaisesTheLevelOfNamedModules) {
    ScopedEnv debug("QUILL_DEBUG", "SAX,xml:3,other:9");
    MODULE_DEBUG xml("XML");
    MODULE_DEBUG sax("SAX", 0);
    MODULE_DEBUG quiet("QUIET");
    MODULE_DEBUG loud("LOUD", 5);
    EXPECT_EQ(xml.level(), 3);  // names match regardless of case
    EXPECT_EQ(sax.level(), 1);  // a name without level means 1
    EXPECT_EQ(quiet.level(), 0);
    EXPECT_EQ(loud.level(), 5);  // the environment only raises
    EXPECT_TRUE(xml.on(3));
    EXPECT_FALSE(xml.on(4));
    EXPECT_FALSE(quiet.on());
    EXPECT_STREQ(xml.name(), "XML");
}

TEST(ModuleDebug, LiveModulesAndSwitchesAreRegisteredByName) {
    {
        MODULE_DEBUG module("FINDME");
        DISABLE_THREAD_NOTIFICATIONS off("xml-test");
        EXPECT_EQ(MODULE_DEBUG::find("FINDME"), &module);
        EXPECT_TRUE(DISABLE_THREAD_NOTIFICATIONS::is_disabled("xml-test"));
        EXPECT_FALSE(DISABLE_THREAD_NOTIFICATIONS::is_disabled("other"));
    }
    EXPECT_EQ(MODULE_DEBUG::find("FINDME"), nullptr);
    EXPECT_FALSE(DISABLE_THREAD_NOTIFICATIONS::is_disabled("xml-test"));
    EXPECT_FALSE(DISABLE_THREAD_NOTIFICATIONS::is_disabled(nullptr));
}
