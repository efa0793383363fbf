#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora (tests/fuzz/corpus/<target>/).

The targets read their input with libFuzzer's FuzzedDataProvider: bytes and
strings from the front, every choice from the back. Seed files are built the
same way here, so each seed is a small, meaningful session: real packets, the
host's calls and the helper's doings inside a call.
"""
import pathlib

HERE = pathlib.Path(__file__).resolve().parent


class Input:
    def __init__(self):
        self.front = bytearray()
        self.back = []  # in the order the target consumes them

    def int_in_range(self, low, high, value):
        span, result, shift = high - low, value - low, 0
        out = []
        while shift < 64 and (span >> shift) > 0:
            out.append(0)
            shift += 8
        for i in range(len(out)):
            out[len(out) - 1 - i] = (result >> (8 * i)) & 0xFF
        self.back += out  # the most significant byte is consumed first

    def boolean(self, value):
        self.int_in_range(0, 255, 1 if value else 0)

    def raw(self, data):
        self.front += data

    def text(self, s):
        # ConsumeRandomLengthString: a lone backslash ends the string.
        self.front += s.encode().replace(b"\\", b"\\\\") + b"\\x"

    def bytes(self):
        return bytes(self.front) + bytes(reversed(self.back))


# Receive-path target ---------------------------------------------------------
DELIVER, SET, FLUSH, REFRESH, CLOCK, ENABLE, DISABLE, TERM, INIT, SOCKET, SETTINGS, CONFIGURE, PUMP = (
    0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13)


def header(op):
    return b"Art-Net\0" + bytes([op & 0xFF, op >> 8])


def dmx(sub_uni, data, length=None, sequence=1):
    length = len(data) if length is None else length
    return header(0x5000) + bytes([0, 14, sequence, 0, sub_uni, 0, length >> 8, length & 0xFF]) + bytes(data)


def poll(talk_to_me):
    return header(0x2000) + bytes([0, 14, talk_to_me, 0])


def reply(ip, net_switch=0, sub_switch=0, name=b"Node"):
    p = bytearray(239)
    p[0:10] = header(0x2100)
    p[10:14] = bytes(ip)
    p[14], p[15] = 0x36, 0x19
    p[18], p[19] = net_switch, sub_switch
    p[26:26 + len(name)] = name
    p[173] = 1
    p[174] = 0x80
    return bytes(p)


class Session(Input):
    def start(self, helper=True):
        self.boolean(helper)
        self.boolean(True)  # title
        self.boolean(True)  # file name
        self.boolean(False)  # settings as Init read them

    def action(self, code):
        self.int_in_range(0, 13, code)

    def deliver(self, datagram, sender=0, framed=False):
        self.action(DELIVER)
        self.int_in_range(0, 600, len(datagram) - (10 if framed else 0))
        self.boolean(framed)
        self.raw(datagram[10:] if framed else datagram)
        self.int_in_range(0, 3, sender)

    def helper_call(self, fails=False, work=0):
        self.int_in_range(0, 7, 7 if fails else 0)
        self.int_in_range(0, 3, work)

    def set(self, channel, value):
        self.action(SET)
        self.boolean(True)
        self.int_in_range(-1, 513, channel)
        self.boolean(True)
        self.int_in_range(-1, 256, value)

    def clock(self, seconds_fraction):
        self.action(CLOCK)
        # Probabilities are a whole unsigned number over its maximum.
        self.int_in_range(0, 2**32 - 1, int(seconds_fraction * (2**32 - 1)))
        self.int_in_range(0, 2**64 - 1, 0)


def receive_seeds():
    seeds = {}

    s = Session(); s.start()
    s.deliver(dmx(1, [i % 256 for i in range(512)]))  # 511 changed channels; the host takes them all
    seeds["dmx_full_universe"] = s

    s = Session(); s.start()
    s.deliver(dmx(1, [255, 0, 128, 7]))
    for _ in range(3):
        s.helper_call()
    s.deliver(dmx(1, [0, 0, 128, 7]))
    s.helper_call()
    seeds["dmx_two_frames"] = s

    s = Session(); s.start()
    s.deliver(poll(0x02)); s.deliver(poll(0x00), sender=1)
    seeds["polls"] = s

    s = Session(); s.start()
    s.deliver(reply([10, 0, 0, 7], 0, 1)); s.deliver(reply([10, 0, 0, 8], 0, 2, b"Desk"))
    s.deliver(reply([10, 0, 0, 7], 0, 1))
    seeds["poll_replies"] = s

    s = Session(); s.start()
    s.action(ENABLE)
    for ch in range(1, 9):
        s.set(ch, ch * 30)
    s.action(FLUSH); s.clock(0.5); s.set(512, 1); s.action(REFRESH); s.action(DISABLE)
    seeds["enable_set_ticks"] = s

    s = Session(); s.start()
    s.deliver(dmx(1, [10, 20]))
    s.helper_call(work=1)
    s.deliver(dmx(1, [30, 20]), framed=True)  # nested, inside the first call
    s.helper_call()
    s.helper_call()
    seeds["dmx_nested_in_call"] = s

    s = Session(); s.start()
    s.deliver(dmx(1, [10, 20, 30]))
    s.helper_call(fails=True)
    s.deliver(dmx(1, [10, 20, 30]))
    s.helper_call(); s.helper_call(); s.helper_call()
    seeds["dmx_host_fails"] = s

    s = Session(); s.start()
    s.deliver(dmx(1, [1, 2]))
    s.helper_call(work=1)
    s.action(INIT); s.boolean(True); s.boolean(True); s.boolean(True)  # a new helper from inside the call
    s.helper_call()
    seeds["reinit_in_call"] = s

    s = Session(); s.start()
    s.action(ENABLE)
    s.action(CONFIGURE); s.boolean(True)  # dialog shown
    s.boolean(True)  # scan
    s.boolean(True); s.deliver(reply([10, 0, 0, 9]), framed=True)  # a reply during the scan's pump
    s.boolean(False); s.boolean(False)
    seeds["scan_with_reply"] = s

    s = Session(); s.start()
    s.deliver(dmx(1, [9, 9], length=512))
    seeds["dmx_short_datagram"] = s

    s = Session(); s.start()
    s.action(ENABLE); s.action(SOCKET); s.boolean(True)
    s.set(1, 255); s.clock(0.5); s.set(2, 255); s.action(SOCKET); s.boolean(False)
    seeds["send_buffer_full"] = s

    s = Session(); s.start()
    s.action(SETTINGS)
    s.int_in_range(0, 5, 3)  # "localhost"
    for v in (0, 2, 2):
        s.boolean(True); s.int_in_range(-1, 16, v)
    s.action(ENABLE); s.set(1, 1); s.deliver(dmx(2, [5, 5]))
    s.helper_call(); s.helper_call()
    seeds["unusable_address"] = s
    return seeds


# Settings file target --------------------------------------------------------
README_FILE = """[Lumenstage\\Plugins\\libArtNet.so]
ArtNet_BroadcastAdress=255.255.255.255
ArtNet_SubNet=0
ArtNet_InputUniverse1=0
ArtNet_OutputUniverse1=1
"""


def ini_seed(app, section, key, value, text):
    s = Input()
    for part in (app, section, key, value):
        s.text(part)
    s.raw(text if isinstance(text, bytes) else text.encode())
    return s


def ini_seeds():
    sec = "Plugins\\libArtNet.so"
    return {
        "empty_file": ini_seed("Lumenstage", sec, "ArtNet_SubNet", "5", ""),
        "readme_file": ini_seed("Lumenstage", sec, "ArtNet_SubNet", "3", README_FILE),
        "new_key": ini_seed("Lumenstage", sec, "ArtNet_Extra", "x", README_FILE),
        "other_app": ini_seed("Other Host", sec, "ArtNet_SubNet", "1", README_FILE),
        "crlf_bom": ini_seed("Lumenstage", sec, "ArtNet_SubNet", "2",
                             b"\xef\xbb\xbf" + README_FILE.replace("\n", "\r\n").encode()),
        "blanks_and_case": ini_seed("lumenstage", sec.upper(), "artnet_subnet", " 7 ",
                                    "  [ Lumenstage\\Plugins\\libArtNet.so ]  \n  ArtNet_SubNet = 5 \n"),
        "comments": ini_seed("Lumenstage", sec, "ArtNet_SubNet", "4",
                             "; a comment\n# another\n[Lumenstage\\Plugins\\libArtNet.so]\n;ArtNet_SubNet=9\n"
                             "ArtNet_SubNet=1\n\n[Next]\nk=v\n"),
        "awkward_text": ini_seed("Lumen]stage", "Plugins\\a b", "=[;#key", "100% \r\n value ",
                                 "[Lumen%5Dstage\\Plugins\\a b]\n%3D%5B;#key=1%25\n"),
        "two_matching_sections": ini_seed("Lumenstage", sec, "ArtNet_SubNet", "8",
                                          README_FILE + "\n[LUMENSTAGE\\plugins\\libartnet.so]\nArtNet_SubNet=6\n"),
        "utf8_names": ini_seed("Lümenstage", sec, "ÄrtNet", "é", "[LÜMENSTAGE\\Plugins\\libArtNet.so]\näRTnET=1\n"),
        "not_utf8": ini_seed("L\udcffx".encode("utf-8", "surrogateescape").decode("latin-1"), sec, "k", "v",
                             b"[L\xff\\Plugins\\libArtNet.so]\nk=\xfe\n"),
        "percent_escapes": ini_seed("Lumenstage", sec, "k", "%41", "[Lumenstage\\Plugins\\libArtNet.so]\nk=%4\n"),
    }


def write(target, seeds):
    folder = HERE / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    for old in folder.iterdir():
        old.unlink()
    for name, seed in seeds.items():
        (folder / name).write_bytes(seed.bytes())


if __name__ == "__main__":
    write("receive_path", receive_seeds())
    write("ini_text", ini_seeds())
