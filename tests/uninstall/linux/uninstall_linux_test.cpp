#include <gtest/gtest.h>

#include "uninstall/cleanupbatch.h"
#include "uninstall/removalplaces.h"

namespace tvd::uninstall {
namespace {

TEST(UninstallLinuxTest, NotSupportedOnThisPlatform) {
    RemovalPlaces places;
    places.installFolder = u"x";
    EXPECT_EQ(FindRemovalPlaces(places), err::kNotSupported);
    EXPECT_TRUE(places.installFolder.empty());
    EXPECT_EQ(MakeRemovalPlatform(places, nullptr, nullptr), nullptr);
    EXPECT_EQ(WriteAndStartCleanupBatch(u"/opt/x", u"/opt"), err::kNotSupported);
}

} // namespace
} // namespace tvd::uninstall
