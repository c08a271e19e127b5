"""The device's time stamps on python-can's clock."""

from pytest import approx
from tarnix_can.frames import DeviceClock


def test_device_time_is_anchored_at_the_quickest_arrival_and_follows_wraps():
    clock = DeviceClock()
    assert clock.to_epoch(1_000_000, arrived=100.5) == 100.5
    # Arriving sooner after its time stamp than the first frame did: the anchor moves back.
    assert clock.to_epoch(2_000_000, arrived=101.2) == 101.2
    assert clock.to_epoch(3_000_000, arrived=109.0) == approx(102.2)
    assert clock.to_epoch(2**32 - 1_000_000, arrived=5000.0) == approx(99.2 + 4293.967296)
    # The 32-bit count wraps after 71.6 minutes; time goes on.
    assert clock.to_epoch(1_000_000, arrived=5000.0) == approx(99.2 + 4295.967296)
