# Sourced by the networked tests after netns_test_lib.sh: the veth pair to a
# peer namespace (scripts/lib/peer-namespace.sh), and a settings file whose
# broadcast address is the pair's subnet. Needs $work and $peer.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/peer-namespace.sh"

mkdir -p "$work/config/lumenstage"
cat >"$work/config/lumenstage/plugins.ini" <<'INI'
[Lumenstage\Plugins\libArtNet.so]
ArtNet_BroadcastAdress=10.77.0.255
INI
