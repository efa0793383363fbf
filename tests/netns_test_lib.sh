# Sourced first by every networked test script. Outside the private test
# namespace it skips the test (exit 77); inside it, it re-runs the script in a
# fresh namespace of its own, because the tests rewire interfaces and routes.
# usage: source netns_test_lib.sh IN_TEST_NETNS_SH SCRIPT ARGS...
if [[ "${ARTNET_TEST_NETNS:-}" != 1 ]]; then
  echo "skipped: networked test, run it inside scripts/in-test-netns.sh"
  exit 77
fi
if [[ -z "${ARTNET_FRESH_NETNS:-}" ]]; then
  export ARTNET_FRESH_NETNS=1
  exec "$1" "${@:2}"
fi
