#!/usr/bin/env python3
"""The flood report's reading of the wire: which set reached it when, and
which ArtDmx were refreshes. Times in seconds on the wire's clock."""
import unittest

from flood_report import find_refreshes, match_sets, round_ratios

A, B = [1, 0], [1, 2]  # two frames' data: channel 2 set to 2 in B


class MatchSets(unittest.TestCase):
    CASES = [
        # (what, sets, dmx, latencies in ms by kind, late, lost)
        ("at once and by the flush", [(1.0, 1, 1, "first"), (1.005, 2, 2, "second")],
         [(1.0005, A), (1.055, B)], {"first": [0.5], "second": [50.0]}, 0, 0),
        ("carried by a later set's frame, late", [(1.0, 2, 2, "second")],
         [(0.9, A), (1.4, B)], {"first": [], "second": [400.0]}, 1, 0),
        ("never sent", [(1.0, 2, 2, "second")], [(1.0, A)], {"first": [], "second": []}, 0, 1),
        ("frame too short for the channel", [(1.0, 3, 2, "first")], [(1.0, B)], {"first": [], "second": []}, 0, 1),
    ]

    def test_cases(self):
        for what, sets, dmx, latencies, late, lost in self.CASES:
            with self.subTest(what):
                found, found_late, found_lost = match_sets(sets, dmx)
                self.assertEqual({k: [round(v, 3) for v in vs] for k, vs in found.items()}, latencies)
                self.assertEqual((found_late, found_lost), (late, lost))


class FindRefreshes(unittest.TestCase):
    CASES = [
        # (what, dmx, set times, go, stop, refreshes)
        ("every 4 s on a quiet output", [(1.0, A), (5.0, A), (9.0, A)], [], 0.0, 10.0, [5.0, 9.0]),
        ("a flush repeating a frame just sent", [(1.0, B), (1.05, B), (5.0, B)], [1.0, 1.01], 0.0, 10.0, [5.0]),
        ("a changed frame is a set's, not a refresh", [(1.0, A), (5.0, B)], [], 0.0, 10.0, []),
        ("outside the flood", [(1.0, A), (5.0, A), (11.0, A)], [], 6.0, 10.0, []),
    ]

    def test_cases(self):
        for what, dmx, set_times, go, stop, refreshes in self.CASES:
            with self.subTest(what):
                self.assertEqual(find_refreshes(dmx, set_times, go, stop), refreshes)


class RoundRatios(unittest.TestCase):
    def test_pairs_each_round_whatever_the_order_and_skips_unpaired_rounds(self):
        values = {("2", "dll"): 30.0, ("1", "bare"): 10.0, ("2", "bare"): 20.0, ("1", "dll"): 5.0,
                  ("10", "dll"): 8.0, ("10", "bare"): 4.0, ("3", "bare"): 1.0}
        self.assertEqual(round_ratios(values, "dll", "bare"), [0.5, 1.5, 2.0])


if __name__ == "__main__":
    unittest.main()
