// The Qt datagram socket against real sockets, inside a private network
// namespace, on the contract both platforms meet; the cases on a changed
// network change it from here.
#include <gtest/gtest.h>

#include "contract/datagram_socket_contract.h"
#include "net_support.h"

namespace artnet::contract {
INSTANTIATE_TYPED_TEST_SUITE_P(QtDatagramSocket, DatagramSocketContract, itest::QtPlatform);
}  // namespace artnet::contract
