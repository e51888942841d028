// Lengths are counted in bytes of the locale's encoding; the tests pin it to UTF-8 so a
// character of several bytes is a real case whatever the caller's environment says.
#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
