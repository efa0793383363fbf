// The Win32 socket control against real sockets, pumped through the message
// loop, inside a private network namespace, on the contract both platforms
// meet; changed-network.sh runs the cases on a changed network.
#include <gtest/gtest.h>

#include "contract/socket_control_contract.h"
#include "support.h"

namespace artnet::contract {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32SocketControl, SocketControlContract, wtest::Win32Platform);
}  // namespace artnet::contract
