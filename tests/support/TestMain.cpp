// The test programs start as the real ones do: in the system's ANSI code page.
#include <gtest/gtest.h>

#include "platform/MbText.h"

int main(int argc, char** argv) {
    InitMultibyte();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
