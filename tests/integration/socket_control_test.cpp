// The Qt socket control against real sockets, inside a private network
// namespace, on the contract both platforms meet; the cases on a changed
// network change it from here.
#include <gtest/gtest.h>

#include "contract/socket_control_contract.h"
#include "net_support.h"

namespace artnet::contract {
INSTANTIATE_TYPED_TEST_SUITE_P(QtSocketControl, SocketControlContract, itest::QtPlatform);
}  // namespace artnet::contract
