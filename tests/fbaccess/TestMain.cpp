// The program sets the locale from the environment at start-up; the tests fix it to UTF-8 so
// byte counts of non-ASCII text do not depend on the machine.
#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
