// Every seed of the fuzzing corpus must round-trip in the normal build too.
#include "LdifRoundTrip.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

TEST(LdifCorpusReplay, EverySeedRoundTrips) {
    const std::filesystem::path corpus = TARVO_FUZZ_CORPUS;
    int nSeeds = 0;
    for (const auto& item : std::filesystem::directory_iterator(corpus)) {
        std::ifstream in(item.path(), std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        const std::string data = ss.str();
        EXPECT_EQ(CheckLdifRoundTrip(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()), "")
            << item.path();
        ++nSeeds;
    }
    EXPECT_GT(nSeeds, 10);
}
