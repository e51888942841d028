// The access layer converts text with the locale's encoding; pin it to UTF-8 so the byte counts
// the tests expect hold whatever the caller's environment says.
#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
