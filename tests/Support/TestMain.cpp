#include "Support/NetnsCheck.h"

#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    KestrineTest::RequirePrivateNetwork();
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
