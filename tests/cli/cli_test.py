#!/usr/bin/env python3
"""The command-line tool from the outside: generated files, rendered images, refusals.

Usage: cli_test.py PATH/TO/harrowlight-cli [runner...]
A runner (for example the Wine loader) is put in front of the tool when given.
"""
import hashlib
import json
import os
import resource
import stat
import shutil
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

TOOL = []


# The exit codes the tool gives. Under Wine, any other code with nothing on standard error is
# Wine failing around the program (seen once, never reproduced by hand): that run is made once
# more, and said so.
TOOL_EXIT_CODES = (0, 2, 3)


def run(*args):
    command = TOOL + [str(a) for a in args]
    result = subprocess.run(command, capture_output=True, text=True, timeout=120)
    if ("wine" in os.path.basename(TOOL[0]) and result.returncode not in TOOL_EXIT_CODES
            and not result.stderr.strip()):
        sys.stderr.write("cli_test: %s ended with exit code %d and no message under Wine; run again\n"
                         % (" ".join(command[1:]), result.returncode))
        result = subprocess.run(command, capture_output=True, text=True, timeout=120)
    # In the sanitizer build a report fails the test whatever the exit code it expects.
    for mark in ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"):
        if mark in result.stderr:
            raise AssertionError("%s: %s" % (" ".join(str(a) for a in args), result.stderr))
    return result


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_bytes(path, data):
    with open(path, "wb") as f:
        f.write(data)


def read_bmp(path):
    data = read_bytes(path)
    fields = struct.unpack_from("<2sIHHIIiiHHIIiiII", data, 0)
    header = dict(zip(["type", "size", "r1", "r2", "offbits", "bisize", "width", "height",
                       "planes", "bitcount", "compression", "sizeimage", "xppm", "yppm",
                       "clrused", "clrimportant"], fields))
    colors = [struct.unpack_from("<BBBB", data, 54 + 4 * i) for i in range(256)]
    return data, header, colors


def read_png(path):
    """Chunks checked by their CRCs; returns (width, height, rows of indices top first, PLTE, tEXt)."""
    data = read_bytes(path)
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, stream, texts, palette = 8, b"", {}, b""
    while at < len(data):
        length, kind = struct.unpack_from(">I4s", data, at)
        body = data[at + 8:at + 8 + length]
        assert struct.unpack_from(">I", data, at + 8 + length)[0] == zlib.crc32(kind + body)
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack_from(">IIBB", body)
            assert (depth, colour) == (8, 3)
        elif kind == b"PLTE":
            palette = body
        elif kind == b"tEXt":
            key, _, value = body.partition(b"\0")
            texts[key.decode("latin-1")] = value.decode("latin-1")
        elif kind == b"IDAT":
            stream += body
        at += 12 + length
    raw = zlib.decompress(stream)
    assert len(raw) == height * (width + 1)
    rows = [raw[y * (width + 1) + 1:(y + 1) * (width + 1)] for y in range(height)]
    assert all(raw[y * (width + 1)] == 0 for y in range(height))
    return width, height, rows, palette, texts


def wave_header(channels, rate, bits, data_length):
    """A canonical 44-byte header with the given fields, as a malformed or unusual file has."""
    align = channels * bits // 8
    fmt = struct.pack("<HHIIHH", 1, channels, rate, (rate * align) & 0xFFFFFFFF, align & 0xFFFF, bits)
    return (b"RIFF" + struct.pack("<I", (36 + data_length) & 0xFFFFFFFF) + b"WAVEfmt " +
            struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", data_length))


def under_wine():
    return len(TOOL) > 1


def pixel(data, header, x, row_from_bottom):
    return data[header["offbits"] + row_from_bottom * header["width"] + x]


class ToolCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def generate(self, name, *options):
        out = self.path(name)
        result = run("generate", *options[:1], out, *options[1:])
        self.assertEqual(result.returncode, 0, result.stderr)
        return out


class CliTest(ToolCase):
    def test_version_is_the_projects(self):
        # The About box takes its version from the same project() line (see the e2e test).
        cmake = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "CMakeLists.txt")
        with open(cmake) as f:
            match = re.search(r"project\(Harrowlight VERSION ([0-9.]+)", f.read())
        self.assertIsNotNone(match, "no project() version in CMakeLists.txt")
        result = run("--version")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.strip(), "harrowlight-cli " + match.group(1))

    def test_info_of_a_generated_file(self):
        wav = self.generate("tone.wav", "tone", "--seconds", "3")
        result = run("info", wav)
        self.assertEqual(result.returncode, 0, result.stderr)
        for line in ["channels: 1", "sample rate: 11025 Hz", "bits per sample: 16",
                     "data offset: 44", "data length: 66150 bytes"]:
            self.assertIn(line, result.stdout)
        self.assertNotIn("warning", result.stdout)

    def test_render_size_palette_and_tone_row(self):
        # 3 s of 1000 Hz at 11025 Hz, 16 bit mono: 33075 samples, step 132 (12 ms),
        # (33075 - 512) / 132 = 246 columns, exported as 244; 256 bins + 44 rows.
        wav = self.generate("tone.wav", "tone", "--seconds", "3", "--amplitude", "0.05")
        bmp = self.path("tone.bmp")
        result = run("render", wav, "-o", bmp)
        self.assertEqual(result.returncode, 0, result.stderr)
        data, h, colors = read_bmp(bmp)
        self.assertEqual((h["type"], h["width"], h["height"], h["bitcount"]), (b"BM", 244, 300, 8))
        self.assertEqual((h["offbits"], h["size"], len(data)), (1078, 1078 + 244 * 300, 1078 + 244 * 300))
        self.assertEqual((h["clrused"], h["clrimportant"], h["sizeimage"]), (256, 256, 244 * 300))
        # CB scheme: entry 3 black, entry 1 (0, 100, 255) stored blue first; 236.. zero.
        self.assertEqual(colors[3], (0, 0, 0, 0))
        self.assertEqual(colors[1], (255, 100, 0, 0))
        self.assertTrue(all(c == (0, 0, 0, 0) for c in colors[236:]))
        # bin 1000 * 512 / 11025 = 46.4: the brightest bin of every column is 46, which is
        # file row 46 counted from the bottom; the separator is image row 43 (file row 256).
        for x in (0, 100, 243):
            column = [pixel(data, h, x, r) for r in range(256)]
            self.assertEqual(column.index(max(column)), 46, x)
            self.assertEqual(pixel(data, h, x, 300 - 1 - 43), 1)
            self.assertEqual(pixel(data, h, x, 300 - 1 - 21), 2)

    def test_stereo_eight_bit_reads_the_first_channel(self):
        # Left 2000 Hz, right 3000 Hz at 22050 Hz, FFT 1024: bin 2000 * 1024 / 22050 = 92.9.
        wav = self.generate("st.wav", "tone", "--rate", "22050", "--bits", "8", "--channels", "2",
                            "--freq", "2000", "--seconds", "2", "--amplitude", "0.1")
        bmp = self.path("st.bmp")
        result = run("render", wav, "-o", bmp, "--fft", "1024")
        self.assertEqual(result.returncode, 0, result.stderr)
        data, h, _ = read_bmp(bmp)
        self.assertEqual(h["height"], 556)
        column = [pixel(data, h, 10, r) for r in range(512)]
        self.assertEqual(column.index(max(column)), 93)

    def test_threads_and_schemes_do_not_change_the_pixels(self):
        wav = self.generate("demo.wav", "demo", "--seconds", "4")
        outputs = []
        for threads, scheme in (("1", "CB"), ("2", "CB"), ("2", "WB")):
            bmp = self.path("demo-%s-%s.bmp" % (threads, scheme))
            result = run("render", wav, "-o", bmp, "--threads", threads, "--scheme", scheme)
            self.assertEqual(result.returncode, 0, result.stderr)
            outputs.append(read_bytes(bmp))
        self.assertEqual(outputs[0], outputs[1])
        self.assertEqual(outputs[0][1078:], outputs[2][1078:])
        self.assertNotEqual(outputs[0][54:1078], outputs[2][54:1078])

    def test_refusals_print_the_message_and_write_nothing(self):
        wav = self.generate("tone.wav", "tone", "--seconds", "3")
        short = self.path("short.wav")
        write_bytes(short, read_bytes(wav)[:2047])
        cases = [
            ([short], "Sample Size Too Small", 2),
            ([wav, "--time-scale", "0.5"], "Time Scale Out of Range", 2),
            ([wav, "--time-scale", "500.5"], "Time Scale Out of Range", 2),
            ([wav, "--begin", "5000", "--end", "6000"], "Improper Begin or End", 2),
            ([wav, "--begin", "100", "--end", "100"], "Improper Begin or End", 2),
            ([wav, "--rate", "3999"], "Sample Rate Out of Range", 2),
            ([wav, "--begin", "0", "--end", "50"], "Sample Size Too Small", 2),
            # 100 ms are 1102 samples, fewer than one 2048-point frame.
            ([wav, "--end", "100", "--fft", "2048"], "Time Scale Too Small", 2),
            ([self.path("missing.wav")], "Cannot Open File", 3),
        ]
        for args, message, code in cases:
            bmp = self.path("out.bmp")
            write_bytes(bmp, b"keep me")
            result = run("render", args[0], "-o", bmp, *args[1:])
            self.assertEqual(result.returncode, code, (args, result.stderr))
            self.assertIn(message, result.stderr, args)
            self.assertEqual(read_bytes(bmp), b"keep me", args)
            self.assertEqual(sorted(os.listdir(self.dir.name)), sorted(["tone.wav", "short.wav", "out.bmp"]))

    def test_a_2048_byte_raw_file_passes_the_length_check(self):
        raw = self.path("raw.dat")
        write_bytes(raw, bytes(range(256)) * 8)
        result = run("info", raw)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("raw samples", result.stdout)
        self.assertIn("warning: File may not be PCM Wave Format", result.stdout)

    def test_unwritable_output_is_reported(self):
        wav = self.generate("tone.wav", "tone", "--seconds", "3")
        result = run("render", wav, "-o", self.path("no/such/folder/out.bmp"))
        self.assertEqual(result.returncode, 3)
        self.assertIn("Error Writing File", result.stderr)


    # PNG, batches, widths and levels.

    def test_png_holds_the_bmps_indices_palette_and_parameters(self):
        wav = self.generate("demo.wav", "demo", "--seconds", "3")
        bmp, png = self.path("d.bmp"), self.path("d.png")
        options = ["--fft", "1024", "--scheme", "WB", "--attenuation", "6"]
        for out in (bmp, png):
            result = run("render", wav, "-o", out, *options)
            self.assertEqual(result.returncode, 0, result.stderr)
        data, h, colors = read_bmp(bmp)
        width, height, rows, palette, texts = read_png(png)
        self.assertEqual((width, height), (h["width"], h["height"]))
        for y in range(height):
            start = 1078 + (height - 1 - y) * width
            self.assertEqual(rows[y], data[start:start + width], y)
        self.assertEqual(len(palette), 768)
        self.assertEqual([tuple(palette[3 * i:3 * i + 3]) for i in range(256)],
                         [(c[2], c[1], c[0]) for c in colors])
        self.assertEqual(texts["File"], wav)
        self.assertEqual(texts["FFT size"], "1024")
        self.assertEqual(texts["Mode"], "NB")
        self.assertEqual(texts["Time scale"], "12 ms per column")
        self.assertEqual(texts["Scheme"], "WB")
        self.assertEqual(texts["Attenuation"], "6 dB")
        self.assertTrue(texts["Software"].startswith("Harrowlight "))
        self.assertRegex(texts["Span"], r"^0 ms to 3000 ms$")
        self.assertRegex(texts["Window"], r"^92\.8\d* ms$")  # 1024 / 11025 s
        # --format overrides the extension; "-" reads stdin and -o - writes stdout.
        result = run("render", wav, "-o", self.path("x.png"), "--format", "bmp", *options)
        self.assertEqual(read_bytes(self.path("x.png")), data)
        piped = subprocess.run(TOOL + ["render", "-", "-o", "-", "--format", "bmp"] + options,
                               input=read_bytes(wav), capture_output=True, timeout=120)
        self.assertEqual(piped.returncode, 0, piped.stderr)
        self.assertEqual(piped.stdout, data)

    def test_batch_goes_on_past_a_malformed_file_and_sums_up(self):
        folder = self.path("in")
        os.makedirs(os.path.join(folder, "sub"))
        for name in ("a.wav", "c.wav", "sub/d.wav"):
            self.generate(os.path.join("in", name), "tone", "--seconds", "2")
        write_bytes(os.path.join(folder, "b.wav"), b"RIFF" + b"\xff" * 100)  # shorter than 2048 bytes
        out = self.path("out")
        result = run("render", folder, "-d", out)
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn("rendered 2, refused 1, failed 0", result.stderr)
        self.assertIn("b.wav: Sample Size Too Small", result.stderr)
        self.assertEqual(sorted(os.listdir(out)), ["a.png", "c.png"])
        result = run("render", folder, self.path("missing.wav"), "-r", "-d", out, "--format", "bmp")
        self.assertEqual(result.returncode, 3, result.stderr)
        self.assertIn("rendered 3, refused 1, failed 1", result.stderr)
        self.assertIn("missing.wav: Cannot Open File", result.stderr)
        self.assertEqual(read_bytes(os.path.join(out, "sub", "d.bmp")),
                         read_bytes(os.path.join(out, "a.bmp")))

    def test_names_outside_the_code_page_are_read_and_written_whole(self):
        # Under Wine the arguments reach the tool as UTF-16 and its files are made with the
        # wide calls; a narrow path would have turned every one of these letters into "?".
        name = "\u0141\u00f3d\u017a \u2014 \u97f3"  # Polish letters, an em dash, a CJK character
        folder = self.path(name)
        os.makedirs(folder)
        wav = self.generate(os.path.join(name, name + ".wav"), "tone", "--seconds", "2")
        plain = self.generate("plain.wav", "tone", "--seconds", "2")
        self.assertEqual(run("render", plain, "-o", self.path("plain.bmp")).returncode, 0)
        result = run("render", wav, "-o", os.path.join(folder, name + ".bmp"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(read_bytes(os.path.join(folder, name + ".bmp")), read_bytes(self.path("plain.bmp")))
        # A folder of that name, listed by the batch, and its image named after the input.
        out = self.path(name + " out")
        result = run("render", folder, "-d", out, "--format", "bmp")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(os.listdir(out), [name + ".bmp"])
        self.assertEqual(read_bytes(os.path.join(out, name + ".bmp")), read_bytes(self.path("plain.bmp")))

    def test_width_picks_the_time_scale_that_fits(self):
        wav = self.generate("tone.wav", "tone", "--seconds", "10")
        for width in (400, 1000, 1003):
            png = self.path("w.png")
            result = run("render", wav, "-o", png, "--width", width)
            self.assertEqual(result.returncode, 0, result.stderr)
            got, height, _, _, texts = read_png(png)
            self.assertLessEqual(got, width)
            self.assertGreaterEqual(got, width - 4 - 3)
            self.assertEqual(height, 300)
        self.assertEqual(run("render", wav, "-o", png, "--width", "abc").returncode, 2)

    def test_levels_are_what_the_renderers_indices_are_made_of(self):
        wav = self.generate("demo.wav", "demo", "--seconds", "2")
        bmp, csv, npy = self.path("d.bmp"), self.path("d.csv"), self.path("d.npy")
        self.assertEqual(run("render", wav, "-o", bmp).returncode, 0)
        for out in (csv, npy):
            result = run("levels", wav, "-o", out)
            self.assertEqual(result.returncode, 0, result.stderr)
        lines = read_bytes(csv).decode("ascii").splitlines()
        header = lines[0].split(",")
        self.assertEqual(header[0], "time_ms")
        self.assertEqual(len(header), 257)
        self.assertAlmostEqual(float(header[47]), 46 * 11025 / 512, places=3)
        data, h, _ = read_bmp(bmp)
        columns = len(lines) - 1
        self.assertGreaterEqual(columns, h["width"])
        x = 101
        row = lines[1 + x].split(",")
        self.assertAlmostEqual(float(row[0]), x * 12.0, places=3)
        levels = [int(v) for v in row[1:]]
        # NB: the window fills the frame, so the index is the level less 100, limited to 3..235.
        self.assertEqual([pixel(data, h, x, b) for b in range(256)],
                         [min(235, max(3, v - 100)) for v in levels])
        raw = read_bytes(npy)
        header_length = struct.unpack_from("<H", raw, 8)[0]
        self.assertIn("'shape': (%d, 256)" % columns, raw[10:10 + header_length].decode("latin-1"))
        values = struct.unpack_from("<256h", raw, 10 + header_length + x * 512)
        self.assertEqual(list(values), levels)

    def sparse_wave_with_tone_at_end(self, name, data_length):
        # A header claiming data_length bytes, a hole, and 1 s of 1000 Hz as the last bytes:
        # the file takes a few kilobytes of disk whatever its size.
        tone = read_bytes(self.generate("tone.wav", "tone", "--seconds", "1", "--amplitude", "0.05"))
        header, samples = bytearray(tone[:44]), tone[44:]
        struct.pack_into("<I", header, 4, min(data_length + 36, 0xFFFFFFFF))
        struct.pack_into("<I", header, 40, data_length)
        path = self.path(name)
        with open(path, "wb") as f:
            f.write(header)
            f.truncate(44 + data_length)
            f.seek(44 + data_length - len(samples))
            f.write(samples)
        return path

    def test_files_of_2_to_4_gib_are_read_at_offsets_past_31_bits(self):
        # 11025 Hz 16-bit mono: 22050 bytes a second. The selection is the last 1.5 s; its
        # last columns lie inside the tone (bin 46, see above), its first ones in the hole.
        for data_length in (0xC0000000, 0xFFFFFFFE):
            wav = self.sparse_wave_with_tone_at_end("big.wav", data_length)
            result = run("info", wav)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("data length: %d bytes" % data_length, result.stdout)
            end_ms = data_length * 1000 // 22050
            bmp = self.path("big.bmp")
            result = run("render", wav, "-o", bmp, "--begin", str(end_ms - 1500))
            self.assertEqual(result.returncode, 0, (data_length, result.stderr))
            data, h, _ = read_bmp(bmp)
            self.assertGreater(h["width"], 100)
            last = [pixel(data, h, h["width"] - 1, r) for r in range(256)]
            first = [pixel(data, h, 0, r) for r in range(256)]
            self.assertEqual(last.index(max(last)), 46, data_length)
            self.assertLess(max(first), max(last), data_length)
            os.remove(wav)


    # The spectrum log's table for one frame.

    def spectrum(self, wav, *options):
        out = self.path("spectrum.txt")
        result = run("spectrum", wav, "-o", out, *options)
        self.assertEqual(result.returncode, 0, result.stderr)
        text = read_bytes(out).decode("ascii")
        self.assertTrue(text.endswith("\r\n"))
        lines = text[:-2].split("\r\n")
        rows = [line.split("\t") for line in lines[6:]]
        return lines[:6], rows

    @staticmethod
    def half_up(value):
        whole = int(value)
        return whole + 1 if value - whole >= 0.5 else whole

    def test_spectrum_table_layout_and_tone_bin(self):
        # 11025 Hz, 512 points: the tone at 100 x 11025 / 512 Hz sits on bin 100.
        wav = self.generate("tone.wav", "tone", "--freq", "2153.3203125", "--seconds", "2")
        head, rows = self.spectrum(wav, "--at", "500")
        self.assertEqual(head[:1] + head[2:], ["Harrowlight 3.2 Data", "500 Sample Start (msec)",
                                               "256 Frequency Points", "", "Point   Freq    Amp     Phase"])
        # The full path, as the system names it (Wine sees the Linux root as drive Z:).
        full = os.path.abspath(wav)
        self.assertIn(head[1], [full, "Z:" + full.replace("/", "\\")])
        self.assertEqual(len(rows), 256)
        width = 11025 / 512
        for i, row in enumerate(rows):
            self.assertEqual(len(row), 4, row)
            self.assertEqual(int(row[0]), i)
            self.assertEqual(int(row[1]), self.half_up(i * width + width / 2), row)
            self.assertRegex(row[3], r"^-?[01]\.\d{3}$")
            self.assertLessEqual(abs(float(row[3])), 1.571)
        self.assertEqual([r[1] for r in rows[:4]], ["11", "32", "54", "75"])
        amps = [int(r[2]) for r in rows]
        self.assertEqual(amps.index(max(amps)), 100)
        # The full-frame window spreads a bin-centred tone over its two neighbours only.
        self.assertGreater(amps[99], max(amps) // 4)
        self.assertGreater(amps[101], max(amps) // 4)
        self.assertLess(max(amps[:97] + amps[104:]), max(amps) // 50)

    def test_spectrum_fft_size_and_first_channel(self):
        # Left 2000 Hz, right 3000 Hz at 22050 Hz, 8 bit: 2048 points give bin 185.8.
        wav = self.generate("st.wav", "tone", "--rate", "22050", "--bits", "8", "--channels", "2",
                            "--freq", "2000", "--seconds", "2", "--amplitude", "0.3")
        head, rows = self.spectrum(wav, "--at", "250", "--fft", "2048")
        self.assertEqual(head[3], "1024 Frequency Points")
        self.assertEqual(len(rows), 1024)
        amps = [int(r[2]) for r in rows]
        self.assertEqual(amps.index(max(amps)), 186)
        self.assertLess(max(amps[270:290]), max(amps) // 20)  # nothing of the right channel's 3000 Hz

    def test_spectrum_frame_running_past_the_end_and_refusals(self):
        wav = self.generate("tone.wav", "tone", "--seconds", "1")
        # 990 ms of a 1000 ms file: the frame is mostly zeros, the table is still whole.
        _, rows = self.spectrum(wav, "--at", "990")
        self.assertEqual(len(rows), 256)
        out = self.path("keep.txt")
        cases = [
            (["--at", "1001"], "Improper Begin or End", 2),  # the frame starts after the last sample
            (["--at", "-1"], "--at -1: the time is a whole number", 2),
            (["--at", "1.5"], "--at 1.5: the time is a whole number", 2),
            (["--at", "10", "--fft", "4096"], "--fft 4096: the FFT length is 512, 1024 or 2048", 2),
            ([], "needs --at", 2),
        ]
        for args, message, code in cases:
            write_bytes(out, b"keep me")
            result = run("spectrum", wav, "-o", out, *args)
            self.assertEqual(result.returncode, code, (args, result.stderr))
            self.assertIn(message, result.stderr, args)
            self.assertEqual(read_bytes(out), b"keep me", args)
        result = run("spectrum", self.path("missing.wav"), "--at", "0", "-o", out)
        self.assertEqual(result.returncode, 3)
        self.assertIn("Cannot Open File", result.stderr)

    # Regressions of faults found in review.

    def test_more_than_two_channels_read_the_first_channel_in_every_column(self):
        # 4 channels at 11025 Hz, 1.06 ms: 46.7 sample values round to 47; lowered by one
        # to 46 every other column started on channel 2 (3000 Hz) instead of channel 0.
        wav = self.generate("st.wav", "tone", "--channels", "2", "--freq", "2000", "--seconds", "2",
                            "--amplitude", "0.1")
        data = read_bytes(wav)[44:]
        frames = [data[i:i + 4] for i in range(0, len(data), 4)]
        quad = self.path("quad.wav")
        body = b"".join(f + f[2:] + f[:2] for f in frames)  # channels 0..3: 2000, 3000, 3000, 2000 Hz
        write_bytes(quad, wave_header(4, 11025, 16, len(body)) + body)
        bmp = self.path("quad.bmp")
        result = run("render", quad, "-o", bmp, "--time-scale", "1.06")
        self.assertEqual(result.returncode, 0, result.stderr)
        data, h, _ = read_bmp(bmp)
        peaks = [max(range(256), key=lambda r: pixel(data, h, x, r)) for x in range(0, h["width"], 7)]
        self.assertEqual(set(peaks), {93}, peaks)  # 2000 x 512 / 11025 = 92.9

    def test_output_that_is_not_a_regular_file_is_refused_and_a_long_name_works(self):
        if under_wine():
            self.skipTest("the Windows build has its own file types")
        wav = self.generate("tone.wav", "tone", "--seconds", "3")
        kept = self.path("kept.bmp")
        write_bytes(kept, b"keep me")
        os.symlink(kept, self.path("link.bmp"))
        os.mkfifo(self.path("fifo.bmp"))
        for name in ("link.bmp", "fifo.bmp"):
            result = run("render", wav, "-o", self.path(name))
            self.assertEqual(result.returncode, 3, result.stderr)
            self.assertIn("Cannot Open File", result.stderr)
            self.assertIn("not a regular file", result.stderr)
        self.assertTrue(os.path.islink(self.path("link.bmp")))
        self.assertTrue(stat.S_ISFIFO(os.lstat(self.path("fifo.bmp")).st_mode))
        self.assertEqual(read_bytes(kept), b"keep me")
        # A regular target keeps its permission bits; a 250-byte name leaves room for none.
        os.chmod(kept, 0o640)
        long_name = self.path("n" * 246 + ".bmp")
        for target in (kept, long_name):
            result = run("render", wav, "-o", target)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(read_bytes(target)[:2], b"BM")
        self.assertEqual(stat.S_IMODE(os.stat(kept).st_mode), 0o640)
        self.assertEqual(sorted(os.listdir(self.dir.name)),
                         sorted(["tone.wav", "kept.bmp", "link.bmp", "fifo.bmp", os.path.basename(long_name)]))

    def big_wave(self):
        # 0xFFFFFFFF bytes of 8-bit samples at 4000 Hz: 89 million columns of 300 rows. The
        # file is sparse, so it costs no disk.
        big = self.path("big.wav")
        with open(big, "wb") as f:
            f.write(wave_header(1, 4000, 8, 0xFFFFFFFF))
            f.truncate(44 + 0xFFFFFFFF)
        return big

    def test_an_image_a_bmp_cannot_hold_is_refused_before_anything_is_allocated(self):
        big = self.big_wave()
        bmp = self.path("big.bmp")
        result = run("render", big, "-o", bmp)
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn("Bitmap Error", result.stderr)
        self.assertIn("larger than the 4 GiB a BMP file can hold", result.stderr)
        self.assertFalse(os.path.exists(bmp))

    def test_the_batch_png_and_levels_paths_check_the_size_before_allocating_too(self):
        big = self.big_wave()
        out = self.path("out")
        for args in (["render", big, "-o", self.path("big.png")], ["render", big, "-d", out, "--axes"],
                     ["levels", big, "-o", self.path("big.npy")]):
            result = run(*args)
            self.assertEqual(result.returncode, 2, (args, result.stderr))
            self.assertRegex(result.stderr, "Bitmap Error: .*larger than the 4 GiB|Not enough memory: the levels of", args)
        self.assertEqual(os.listdir(out), [])
        self.assertFalse(os.path.exists(self.path("big.png")) or os.path.exists(self.path("big.npy")))

    def test_a_file_size_limit_reports_error_writing_file_and_leaves_no_temporary(self):
        if under_wine():
            self.skipTest("the limit would apply to Wine's own files")
        wav = self.generate("tone.wav", "tone", "--seconds", "3")
        limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (2048, 2048))
        os.mkdir(self.path("out"))
        kept = {name: self.path(name) for name in ("out.bmp", "out.png", "out.csv", "out.npy", "out.txt",
                                                   os.path.join("out", "tone.png"))}
        for path in kept.values():
            write_bytes(path, b"keep me")
        for args in (["render", wav, "-o", kept["out.bmp"]], ["render", wav, "-o", kept["out.png"]],
                     ["render", wav, "-d", self.path("out")], ["levels", wav, "-o", kept["out.csv"]],
                     ["levels", wav, "-o", kept["out.npy"]], ["spectrum", wav, "--at", "500", "-o", kept["out.txt"]]):
            if args[0] == "spectrum":
                args += ["--fft", "2048"]
            result = subprocess.run(TOOL + args, capture_output=True, text=True, timeout=120, preexec_fn=limit)
            self.assertNotEqual(result.returncode, 0, args)
            self.assertIn("Error Writing File", result.stderr, args)
        for path in kept.values():
            self.assertEqual(read_bytes(path), b"keep me", path)
        self.assertEqual(sorted(os.listdir(self.dir.name)), sorted(["out", "tone.wav"] + [n for n in kept if "/" not in n]))
        self.assertEqual(os.listdir(self.path("out")), ["tone.png"])

    def test_spectrum_of_a_frame_far_past_the_data_of_many_channels_is_refused(self):
        # 65535 channels at 2^31 Hz: start x block align does not fit 64 bits. (8-bit: a block
        # align of 65535 x 2 bytes does not fit its field, and such a file is refused as inconsistent.)
        wav = self.path("many.wav")
        write_bytes(wav, wave_header(65535, 2 ** 31, 8, 4096) + bytes(4096))
        out = self.path("keep.txt")
        write_bytes(out, b"keep me")
        result = run("spectrum", wav, "--at", "4000000000", "-o", out)
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn("Improper Begin or End: --at 4000000000 ms starts past the last sample", result.stderr)
        self.assertEqual(read_bytes(out), b"keep me")

    def test_every_refused_input_gets_one_line_naming_it_and_exit_code_2(self):
        wav = self.generate("tone.wav", "tone", "--seconds", "3")
        rates = {}
        for rate in (1, 10 ** 6, 2 ** 31):
            rates[rate] = self.path("rate%d.wav" % rate)
            write_bytes(rates[rate], wave_header(1, rate, 16, 8192) + bytes(8192))
        many = self.path("many.wav")
        write_bytes(many, wave_header(65535, 11025, 8, 8192) + bytes(8192))
        bmp = self.path("out.bmp")
        cases = [
            (["render", wav, "-o", bmp, "--window-ms", "0"], "FFT Window Too Small: --window-ms 0 is shorter"),
            (["render", wav, "-o", bmp, "--window-ms", "-5"], "FFT Window Too Small: --window-ms -5 is shorter"),
            (["render", wav, "-o", bmp, "--window-ms", "0.99"], "FFT Window Too Small: --window-ms 0.99"),
            (["render", wav, "-o", bmp, "--window-ms", "nan"], "--window-ms nan: not a plain decimal number"),
            (["render", wav, "-o", bmp, "--window-ms", "inf"], "--window-ms inf: not a plain decimal number"),
            (["render", wav, bmp], 'unexpected argument "%s"' % bmp),
            (["render", wav, "-o", bmp, "--end", "-5"], "Improper Begin or End: --begin 0 and --end -5"),
            (["render", wav, "-o", bmp, "--end"], "--end needs a value"),
            (["render", wav, "-o", bmp, "--colour", "CB"], "unknown option --colour for render"),
            (["render", wav, "-o", bmp, "--rate", "1000000"], "Sample Rate Out of Range: --rate 1000000"),
            (["render", rates[1], "-o", bmp], "Sample Rate Out of Range: the file's rate of 1 Hz"),
            (["render", rates[10 ** 6], "-o", bmp], "Sample Rate Out of Range: the file's rate of 1000000 Hz"),
            (["render", rates[2 ** 31], "-o", bmp], "Sample Rate Out of Range: the file's rate of 2147483648 Hz"),
            (["render", many, "-o", bmp], "Improper Begin or End: --begin 0 ms and the data's end (0.011 ms)"),
            (["render", wav, "-o", bmp, "--time-scale", "0.5"], "Time Scale Out of Range: --time-scale 0.5"),
            (["generate", "tone", self.path("x.wav"), "--freq", "inf"], "--freq inf: the frequency is a finite"),
            (["render"], "render needs an input file"),
            (["frobnicate"], 'unknown command "frobnicate"'),
        ]
        for args, message in cases:
            result = run(*args)
            self.assertEqual(result.returncode, 2, (args, result.stderr))
            self.assertEqual(result.stderr.count("\n"), 1, (args, result.stderr))
            self.assertIn(message, result.stderr, args)
            self.assertFalse(os.path.exists(bmp), args)


    # Faults found by probing the tool from outside.

    def test_a_pipe_a_dangling_link_and_an_unreadable_folder_in_a_batch_are_listed_as_failed(self):
        if under_wine():
            self.skipTest("POSIX file types")
        folder = self.path("in")
        os.makedirs(os.path.join(folder, "locked"))
        self.generate(os.path.join("in", "a.wav"), "tone", "--seconds", "1")
        self.generate(os.path.join("in", "locked", "b.wav"), "tone", "--seconds", "1")
        os.mkfifo(os.path.join(folder, "fifo.wav"))
        os.symlink("nowhere", os.path.join(folder, "dangling.wav"))
        os.chmod(os.path.join(folder, "locked"), 0)
        self.addCleanup(os.chmod, os.path.join(folder, "locked"), 0o755)
        # Root reads any folder: the tool then runs as nobody, in a folder nobody may use.
        drop = None
        if os.geteuid() == 0:
            os.chmod(self.dir.name, 0o777)
            drop = lambda: (os.setgid(65534), os.setuid(65534))
        result = subprocess.run(TOOL + ["render", folder, "-r", "-d", self.path("out")], capture_output=True,
                                text=True, timeout=120, preexec_fn=drop)
        self.assertEqual(result.returncode, 3, result.stderr)
        self.assertIn("rendered 1, refused 0, failed 3", result.stderr)
        self.assertIn("fifo.wav: Cannot Open File: %s is not a regular file" % os.path.join(folder, "fifo.wav"),
                      result.stderr)
        self.assertIn("dangling.wav: Cannot Open File", result.stderr)
        self.assertIn("failed %s: Cannot Open File" % os.path.join(folder, "locked"), result.stderr)

    def test_dash_is_standard_input_and_output_in_every_command(self):
        wav = read_bytes(self.generate("tone.wav", "tone", "--seconds", "2"))
        write_bytes(self.path("-"), b"not a wave file, and never to be read or replaced" * 64)
        pipe = lambda *args, data=wav: subprocess.run(TOOL + list(args), input=data, capture_output=True,
                                                      timeout=120, cwd=self.dir.name)
        generated = pipe("generate", "tone", "-", "--seconds", "2", data=b"")
        self.assertEqual((generated.returncode, generated.stdout), (0, wav), generated.stderr)
        info = pipe("info", "-")
        self.assertEqual(info.returncode, 0, info.stderr)
        by_name = run("info", self.path("tone.wav")).stdout
        self.assertIn("44100", by_name)
        # The same description, apart from the line that names the file.
        self.assertEqual([l for l in info.stdout.decode().splitlines() if not l.startswith("file:")],
                         [l for l in by_name.splitlines() if not l.startswith("file:")])
        table = pipe("spectrum", "-", "--at", "500", "-o", "-")
        self.assertEqual(table.returncode, 0, table.stderr)
        self.spectrum(self.path("tone.wav"), "--at", "500")
        # Past the line naming the file, the table of the piped file is the one of the file.
        self.assertEqual(table.stdout.split(b"\r\n")[2:], read_bytes(self.path("spectrum.txt")).split(b"\r\n")[2:])
        self.assertEqual(read_bytes(self.path("-"))[:10], b"not a wave")

    def test_standard_input_is_read_through_a_copy_not_held_in_memory(self):
        if under_wine():
            self.skipTest("Wine's own memory would be measured")
        # 200 MB of silence piped in: held whole (twice) the tool grew past 400 MB; read like
        # a file it needs the image (19016 x 300 at 500 ms) and a few chunks of samples.
        script = ("import resource, struct, subprocess, sys\n"
                  "n = 200 << 20\n"
                  "p = subprocess.Popen(sys.argv[1:], stdin=subprocess.PIPE)\n"
                  "p.stdin.write(b'RIFF' + struct.pack('<I', n + 36) + b'WAVEfmt ' + struct.pack('<IHHIIHH', 16, 1, 1,"
                  " 11025, 22050, 2, 16) + b'data' + struct.pack('<I', n))\n"
                  "for _ in range(n >> 20): p.stdin.write(bytes(1 << 20))\n"
                  "p.stdin.close()\n"
                  "print(p.wait(), resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n")
        out = self.path("silence.png")
        result = subprocess.run([sys.executable, "-c", script] + TOOL +
                                ["render", "-", "-o", out, "--time-scale", "500", "--threads", "1"],
                                capture_output=True, text=True, timeout=300)
        code, peak_kib = (int(v) for v in result.stdout.split())
        self.assertEqual(code, 0, result.stderr)
        self.assertLess(peak_kib, 100 * 1024)
        self.assertEqual(read_png(out)[0], 19016)

    def test_a_warning_and_the_refusal_it_explains_are_one_line(self):
        raw = self.path("r.raw")
        write_bytes(raw, bytes(range(256)) * 8)
        result = run("render", raw, "-o", self.path("r.png"))
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
        self.assertIn("Time Scale Too Small", result.stderr)
        self.assertIn("File may not be PCM Wave Format", result.stderr)

    def test_spectrum_frame_starting_on_the_last_sample_is_refused(self):
        wav = self.generate("tone.wav", "tone", "--seconds", "5")
        out = self.path("s.txt")
        result = run("spectrum", wav, "--at", "5000", "-o", out)
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn("Improper Begin or End: --at 5000 ms starts on the last sample", result.stderr)
        self.assertFalse(os.path.exists(out))
        self.assertEqual(run("spectrum", wav, "--at", "4999", "-o", out).returncode, 0)

    def test_a_replaced_output_keeps_owner_and_group_drops_setuid_and_a_read_only_one_is_refused(self):
        if under_wine():
            self.skipTest("POSIX owners and modes")
        wav = self.generate("tone.wav", "tone", "--seconds", "1")
        locked, marked, theirs = self.path("locked.bmp"), self.path("marked.bmp"), self.path("theirs.bmp")
        for path, mode in ((locked, 0o444), (marked, 0o6755), (theirs, 0o640)):
            write_bytes(path, b"keep me")
            os.chmod(path, mode)
        if os.geteuid() == 0:
            os.chown(theirs, 65534, 65534)
        result = run("render", wav, "-o", locked)
        self.assertEqual(result.returncode, 3, result.stderr)
        self.assertIn("Cannot Open File: %s may not be written" % locked, result.stderr)
        self.assertEqual(read_bytes(locked), b"keep me")
        for path in (marked, theirs):
            before = os.stat(path)
            result = run("render", wav, "-o", path)
            self.assertEqual(result.returncode, 0, result.stderr)
            after = os.stat(path)
            self.assertEqual(read_bytes(path)[:2], b"BM")
            self.assertEqual((after.st_uid, after.st_gid), (before.st_uid, before.st_gid), path)
            self.assertEqual(stat.S_IMODE(after.st_mode), stat.S_IMODE(before.st_mode) & 0o777, path)

    def test_a_closed_pipe_on_standard_output_is_a_write_failure(self):
        wav = self.generate("tone.wav", "tone", "--seconds", "10")  # a 240 kB image, more than a pipe holds
        tool = subprocess.Popen(TOOL + ["render", wav, "-o", "-", "--format", "bmp"], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        self.assertEqual(tool.stdout.read(10)[:2], b"BM")
        tool.stdout.close()
        error = tool.stderr.read().decode()
        tool.stderr.close()
        self.assertEqual(tool.wait(timeout=120), 3, error)
        self.assertIn("Error Writing File: standard output", error)

    def test_numbers_are_plain_decimal_options_come_once_and_outputs_fit_the_command(self):
        wav = self.generate("tone.wav", "tone", "--seconds", "2")
        png = self.path("a.png")
        cases = [
            (["render", wav, "-o", png, "--threads", "0x10"], "--threads 0x10: the thread count is a whole number"),
            (["render", wav, "-o", png, "--attenuation", "0x10"], "--attenuation 0x10: the attenuation"),
            (["render", wav, "-o", png, "--attenuation", "+5"], "--attenuation +5: the attenuation"),
            (["render", wav, "-o", png, "--begin", " 5"], "--begin  5: not a plain decimal number"),
            (["render", wav, "-o", png, "--time-scale", "1e1"], "--time-scale 1e1: not a plain decimal number"),
            (["spectrum", wav, "-o", self.path("s.txt"), "--at", "0x10"], "--at 0x10: the time is a whole number"),
            (["generate", "tone", self.path("g.wav"), "--seconds", "+1"], "--seconds +1: the length"),
            (["render", wav, "-o", png, "-o", self.path("b.png")], "-o is given more than once"),
            (["spectrum", wav, "--at", "0", "--at", "5", "-o", self.path("s.txt")], "--at is given more than once"),
            (["render", wav, "-o", png, "--width", "100", "--time-scale", "5"], "--width and --time-scale"),
            (["render", wav, "--grid", "1", "-o", png], '--grid takes no value ("1" is no file or folder)'),
            (["levels", wav, "-o", png], "-o %s: levels writes .csv or .npy files" % png),
            (["render", wav, "-o", self.path("a.csv")], "render writes .bmp or .png files"),
        ]
        for args, message in cases:
            result = run(*args)
            self.assertEqual(result.returncode, 2, (args, result.stderr))
            self.assertEqual(result.stderr.count("\n"), 1, (args, result.stderr))
            self.assertIn(message, result.stderr, args)
        self.assertEqual(os.listdir(self.dir.name), ["tone.wav"])

    def test_a_width_the_time_scale_cannot_reach_says_it_is_capped(self):
        wav = self.generate("long.wav", "tone", "--seconds", "600", "--rate", "4000", "--bits", "8")
        png = self.path("l.png")
        result = run("render", wav, "-o", png, "--width", "10")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("warning: --width 10: the time scale is capped at 500 ms, so the image is 1196 columns wide",
                      result.stderr)
        self.assertEqual(read_png(png)[0], 1196)

    def test_inputs_of_one_name_under_d_are_a_refusal_naming_both(self):
        for folder in ("x", "y"):
            os.makedirs(self.path(folder))
            self.generate(os.path.join(folder, "a.wav"), "tone", "--seconds", "1")
        first, second = self.path(os.path.join("x", "a.wav")), self.path(os.path.join("y", "a.wav"))
        out = self.path("out")
        result = run("render", first, second, "-d", out)
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn("rendered 1, refused 1, failed 0", result.stderr)
        self.assertRegex(result.stderr, r"refused %s: its image .*a\.png would replace that of %s" %
                         (re.escape(second), re.escape(first)))

    def test_one_byte_one_channel_and_an_empty_output_name_are_said_right(self):
        one = self.path("one.wav")
        write_bytes(one, b"R")
        wav = self.generate("tone.wav", "tone", "--seconds", "1")
        cases = [
            (["render", one, "-o", self.path("o.png")], "holds 1 byte, fewer than 2048"),
            (["render", wav, "-o", self.path("o.png"), "--end", "100", "--fft", "2048"], "frame of its 1 channel"),
            (["render", wav, "-o", ""], '-o "": the output needs a name'),
            (["spectrum", wav, "--at", "0", "-o", ""], '-o "": the output needs a name'),
        ]
        for args, message in cases:
            result = run(*args)
            self.assertEqual(result.returncode, 2, (args, result.stderr))
            self.assertIn(message, result.stderr, args)

@unittest.skipUnless(shutil.which("sox"), "sox makes the wider files")
class FormatTest(ToolCase):
    """Wider, float and companded files give the image of the 16-bit file of their samples."""

    def sox(self, source, name, *options):
        out = self.path(name)
        subprocess.run(["sox", source] + list(options) + [out], check=True, timeout=60)
        return out

    def render(self, wav, name):
        out = self.path(name)
        result = run("render", wav, "-o", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertNotIn("warning", result.stderr)
        return read_bytes(out)

    def test_wider_and_float_files_render_the_sixteen_bit_image(self):
        wav = self.generate("in16.wav", "demo", "--seconds", "3", "--channels", "2")
        image = self.render(wav, "in16.bmp")
        for name, options in [("p24.wav", ["-b", "24"]), ("p32.wav", ["-b", "32", "-e", "signed"]),
                              ("f32.wav", ["-b", "32", "-e", "float"]), ("f64.wav", ["-b", "64", "-e", "float"])]:
            self.assertEqual(self.render(self.sox(wav, name, *options), name + ".bmp"), image, name)

    def test_batch_png_and_levels_of_wider_files_are_the_sixteen_bit_files(self):
        folder = self.path("in")
        os.makedirs(folder)
        wav = self.generate(os.path.join("in", "a16.wav"), "demo", "--seconds", "2", "--channels", "2")
        self.sox(wav, os.path.join("in", "b24.wav"), "-b", "24")
        self.sox(wav, os.path.join("in", "c32f.wav"), "-b", "32", "-e", "float")
        out = self.path("out")
        result = run("render", folder, "-d", out, "--axes")
        self.assertEqual(result.returncode, 0, result.stderr)
        pictures = [read_png(os.path.join(out, n + ".png"))[:3] for n in ("a16", "b24", "c32f")]
        # Below the title line, which names the file, the pictures are the same.
        self.assertEqual(pictures[1][2][40:], pictures[0][2][40:])
        levels = []
        for name in ("a16", "b24", "c32f"):
            npy = self.path(name + ".npy")
            result = run("levels", os.path.join(folder, name + ".wav"), "-o", npy)
            self.assertEqual(result.returncode, 0, result.stderr)
            levels.append(read_bytes(npy))
        self.assertEqual(levels[1], levels[0])
        self.assertEqual(levels[2], levels[0])
        self.assertEqual(pictures[2][2][40:], pictures[0][2][40:])

    def test_companded_files_render_as_their_sixteen_bit_expansion(self):
        wav = self.generate("in16.wav", "sweep", "--seconds", "3")
        for name, encoding in [("a.wav", "a-law"), ("u.wav", "u-law")]:
            coded = self.sox(wav, name, "-e", encoding)
            expanded = self.sox(coded, "x" + name, "-b", "16", "-e", "signed")
            self.assertEqual(self.render(coded, name + ".bmp"), self.render(expanded, "x" + name + ".bmp"), name)

    def test_spectrum_of_a_float_file_is_the_sixteen_bit_table(self):
        wav = self.generate("in16.wav", "harmonics", "--seconds", "2", "--channels", "2")
        f32 = self.sox(wav, "f32.wav", "-b", "32", "-e", "float")
        tables = []
        for source in (wav, f32):
            out = self.path(os.path.basename(source) + ".txt")
            result = run("spectrum", source, "--at", "700", "-o", out)
            self.assertEqual(result.returncode, 0, result.stderr)
            tables.append(read_bytes(out).split(b"\n")[2:])  # past the line naming the file
        self.assertEqual(tables[0], tables[1])

    def test_a_96_khz_file_renders_and_its_rate_may_be_typed(self):
        wav = self.sox(self.generate("in16.wav", "tone", "--seconds", "2"), "r96.wav", "-b", "24", "-r", "96000")
        out = self.path("r96.bmp")
        for extra in ([], ["--rate", "96000"]):
            result = run("render", wav, "-o", out, *extra)
            self.assertEqual(result.returncode, 0, result.stderr)
        data, header, _ = read_bmp(out)
        # 1000 Hz in bins of 187.5 Hz is bin 5 or 6: the loudest row of a column's bins.
        column = [pixel(data, header, 40, y) for y in range(256)]
        self.assertIn(column.index(max(column)), (5, 6))
        result = run("render", wav, "-o", out, "--rate", "48000")
        self.assertEqual(result.returncode, 2)
        self.assertIn("Sample Rate Out of Range", result.stderr)

    def test_info_names_the_format_and_how_it_is_analysed(self):
        wav = self.sox(self.generate("in16.wav", "tone", "--seconds", "1", "--channels", "2"), "f.wav",
                       "-b", "32", "-e", "float")
        result = run("info", wav)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("format: 32-bit float", result.stdout)
        self.assertIn("analysed as: 16 bit, each sample x 32768, clipped, the first channel", result.stdout)

    def test_compressed_and_big_endian_files_are_refused_by_name(self):
        wav = self.generate("in16.wav", "tone", "--seconds", "1")
        cases = [(self.sox(wav, "ima.wav", "-e", "ima-adpcm"), "IMA ADPCM files cannot be analysed"),
                 (self.sox(wav, "rifx.wav", "-B"), "RIFX (big-endian) Wave files cannot be analysed")]
        for source, message in cases:
            out = self.path("out.bmp")
            result = run("render", source, "-o", out)
            self.assertEqual(result.returncode, 2, result.stderr)
            self.assertIn(message, result.stderr)
            self.assertFalse(os.path.exists(out))


class ShardedBatchTest(ToolCase):
    """--shard, --skip-existing and --manifest: a batch split over machines and run again."""

    def tree(self, count):
        for i in range(count):
            os.makedirs(self.path(os.path.join("in", "s%d" % (i % 3))), exist_ok=True)
            self.generate(os.path.join("in", "s%d" % (i % 3), "f%02d.wav" % i), "tone", "--seconds", "1",
                          "--freq", 200 + 150 * i)
        return self.path("in")

    def manifest(self, name):
        with open(self.path(name), "rb") as f:
            lines = [json.loads(line) for line in f.read().decode("utf-8").splitlines()]
        # The Windows build joins the names it makes with backslashes.
        for line in lines if under_wine() else []:
            line["input"], line["output"] = line["input"].replace("\\", "/"), line["output"].replace("\\", "/")
        return lines

    def test_shards_take_every_input_exactly_once_whatever_the_argument_order(self):
        folder = self.tree(7)
        files = sorted(os.path.join(d, f) for d, _, names in os.walk(folder) for f in names)
        # The PNG names its input as it was given, so the one-run images are of the same names.
        run("render", *files, "-d", self.path("whole"))
        taken = []
        for k in range(3):
            # Each shard is given the files in another order; the split is of the sorted list.
            order = files[k:] + files[:k]
            result = run("render", *order, "-d", self.path("out"), "--shard", "%d/3" % k, "--manifest", self.path("m.jsonl"))
            self.assertEqual(result.returncode, 0, result.stderr)
            taken += [line["input"] for line in self.manifest("m.jsonl")[len(taken):]]
        self.assertEqual(sorted(taken), files)
        for line in self.manifest("m.jsonl"):
            data = read_bytes(line["output"])
            self.assertEqual((line["status"], line["bytes"], line["sha256"]),
                             ("rendered", len(data), hashlib.sha256(data).hexdigest()))
            self.assertEqual(data, read_bytes(os.path.join(self.path("whole"), os.path.basename(line["output"]))))

    def test_bad_shards_are_refused_in_one_line(self):
        wav = self.generate("a.wav", "tone", "--seconds", "1")
        for value in ("4/4", "-1/4", "1/0", "1 /4", "0x1/4", "1.0/4", "1/4/4", "1"):
            result = run("render", wav, "-d", self.path("out"), "--shard", value)
            self.assertEqual(result.returncode, 2, value)
            self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
            self.assertIn("--shard " + value + ": the shard is K/N", result.stderr)
        result = run("render", wav, "-o", self.path("a.png"), "--shard", "0/2")
        self.assertEqual((result.returncode, result.stderr.strip()),
                         (2, "harrowlight-cli: --shard needs -d OUTDIR (harrowlight-cli --help lists the commands)"))
        self.assertFalse(os.path.exists(self.path("out")) or os.path.exists(self.path("a.png")))

    def test_skip_existing_keeps_only_complete_outputs_newer_than_their_input(self):
        folder = self.tree(4)
        out = self.path("out")
        self.assertEqual(run("render", folder, "-r", "-d", out, "--format", "bmp").returncode, 0)
        images = {name: os.path.join(out, "s%d" % (i % 3), "f%02d.bmp" % i) for i, name in enumerate("abcd")}
        reference = read_bytes(images["d"])
        write_bytes(images["b"], read_bytes(images["b"])[:-100])          # cut short
        later = os.stat(images["c"]).st_mtime + 10
        os.utime(os.path.join(folder, "s2", "f02.wav"), (later, later))   # input changed after
        os.remove(images["d"])
        write_bytes(os.path.join(folder, "short.wav"), b"RIFF" + b"\xff" * 100)
        result = run("render", folder, "-r", "-d", out, "--format", "bmp", "--skip-existing", "--manifest", self.path("m.jsonl"))
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn("rendered 3, skipped 1, refused 1, failed 0", result.stderr)
        self.assertIn("short.wav: Sample Size Too Small", result.stderr)
        status = {os.path.basename(line["output"]): line["status"] for line in self.manifest("m.jsonl")}
        self.assertEqual(status, {"f00.bmp": "skipped", "f01.bmp": "rendered", "f02.bmp": "rendered", "f03.bmp": "rendered",
                                  "short.bmp": "refused"})
        self.assertEqual(read_bytes(images["d"]), reference)
        self.assertEqual(len(read_bytes(images["b"])), len(reference))

    def test_manifest_lines_name_refusals_and_escape_names(self):
        folder = self.path("in")
        os.makedirs(folder)
        # Quotes and backslashes are no part of a Windows name; there the paths have backslashes.
        name = "a 'quoted' name.wav" if under_wine() else 'a "quoted"\\name.wav'
        self.generate(os.path.join("in", name), "tone", "--seconds", "1")
        write_bytes(os.path.join(folder, "short.wav"), b"RIFF" + b"\xff" * 100)
        result = run("render", folder, "-d", self.path("out"), "--manifest", self.path("m.jsonl"))
        self.assertEqual(result.returncode, 2, result.stderr)
        # Lines come in the order the inputs end.
        lines = sorted(self.manifest("m.jsonl"), key=lambda l: l["input"])
        self.assertEqual([(os.path.basename(l["input"]), l["status"]) for l in lines],
                         [(name, "rendered"), ("short.wav", "refused")])
        self.assertTrue(lines[1]["message"].startswith("Sample Size Too Small"))
        self.assertEqual((lines[1]["bytes"], lines[1]["sha256"]), (0, None))
        self.assertGreaterEqual(lines[0]["seconds"], 0)
        result = run("render", folder, "-d", self.path("out"), "--manifest", self.path("out"))
        self.assertEqual(result.returncode, 3)
        self.assertIn("Cannot Open File: " + self.path("out"), result.stderr)


def chunk(tag, body, stored=None):
    """One RIFF chunk, with its pad byte after an odd size."""
    size = len(body) if stored is None else stored
    return tag + struct.pack("<I", size) + body + (b"\0" if len(body) % 2 else b"")


def riff_wave(*chunks):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def fmt_chunk(tag, channels, rate, bits, container, valid=None):
    """A format chunk; extensible (sub-format `tag`) when `valid` bits are given."""
    record = struct.pack("<HHIIHH", 0xFFFE if valid else tag, channels, rate, rate * channels * container,
                         channels * container, bits)
    if valid:
        record += struct.pack("<HHIH", 22, valid, 3, tag) + bytes.fromhex("000000001000800000aa00389b71")
    return chunk(b"fmt ", record)


def widened(samples16, container):
    """16-bit samples left-justified in wider containers, the low bytes zero."""
    out = bytearray()
    for (v,) in struct.iter_unpack("<h", samples16):
        out += ((v & 0xFFFF) << (8 * (container - 2))).to_bytes(container, "little")
    return bytes(out)


class WaveLayoutTest(ToolCase):
    """Files as other programs write them: each gives the image of the 16-bit file it was made from."""

    def setUp(self):
        super().setUp()
        source = self.generate("in16.wav", "harmonics", "--seconds", "1", "--channels", "2")
        data = read_bytes(source)
        self.assertEqual(data[36:40], b"data")
        self.samples = data[44:]
        self.expected = self.render(source)

    def render(self, wav, *stdin):
        out = self.path("out.bmp")
        if stdin:
            with open(wav, "rb") as f:
                result = subprocess.run(TOOL + ["render", "-", "-o", out], stdin=f, capture_output=True, timeout=120)
        else:
            result = run("render", wav, "-o", out)
        self.assertEqual(result.returncode, 0, (wav, result.stderr))
        return read_bytes(out)

    def test_every_layout_gives_the_image_of_its_16_bit_source(self):
        s16 = self.samples
        rate = 11025
        info = chunk(b"LIST", b"INFOICMT" + struct.pack("<I", 18) + b"Field Data, site 4")
        cue = struct.pack("<I", 3) + b"".join(struct.pack("<II", i, 100 * i) + b"data" + bytes(12) for i in range(3))
        layouts = {
            "bext before fmt": riff_wave(chunk(b"bext", b"b" * 602), fmt_chunk(1, 2, rate, 16, 2), chunk(b"data", s16)),
            "4 KB of iXML": riff_wave(fmt_chunk(1, 2, rate, 16, 2), chunk(b"iXML", b"<data/>" * 585), chunk(b"data", s16)),
            "cue before data": riff_wave(fmt_chunk(1, 2, rate, 16, 2), chunk(b"cue ", cue), chunk(b"data", s16)),
            "LIST holding data": riff_wave(info, fmt_chunk(1, 2, rate, 16, 2), chunk(b"data", s16)),
            "12 bits in 2": riff_wave(fmt_chunk(1, 2, rate, 12, 2), chunk(b"data", s16)),
            "20 bits in 3": riff_wave(fmt_chunk(1, 2, rate, 20, 3), chunk(b"data", widened(s16, 3))),
            "24 in 4, tag 1": riff_wave(fmt_chunk(1, 2, rate, 24, 4), chunk(b"data", widened(s16, 4))),
            "24 in 4, extensible": riff_wave(fmt_chunk(1, 2, rate, 32, 4, valid=24), chunk(b"data", widened(s16, 4))),
            "data size 0, streamed": riff_wave(fmt_chunk(1, 2, rate, 16, 2)) + b"data" + bytes(4) + s16,
        }
        for name, data in layouts.items():
            wav = self.path("layout.wav")
            write_bytes(wav, data)
            self.assertEqual(self.render(wav), self.expected, name)
        # A stream piped in whose data size was never filled in is read to its end.
        self.assertEqual(self.render(wav, "stdin"), self.expected)
        result = run("info", self.path("layout.wav"))
        self.assertIn('chunk: "data" at 36, %d bytes (to the end of the file)' % len(s16), result.stdout)

    def test_a_riff_file_without_its_chunks_is_refused_in_one_line(self):
        s16 = self.samples
        cases = [(riff_wave(fmt_chunk(1, 2, 11025, 16, 2), chunk(b"LIST", b"INFO" + bytes(4000))),
                  "No data chunk in the file"),
                 (riff_wave(chunk(b"data", s16)), "No fmt chunk in the file"),
                 (riff_wave(fmt_chunk(1, 2, 11025, 36, 5), chunk(b"data", bytes(5000))),
                  "36-bit PCM files cannot be analysed"),
                 (riff_wave(fmt_chunk(1, 2, 11025, 24, 2), chunk(b"data", s16)),
                  "Inconsistent format in the file: 24-bit samples in 2-byte containers")]
        for data, message in cases:
            wav = self.path("bad.wav")
            write_bytes(wav, data)
            for args in (["render", wav, "-o", self.path("x.bmp")], ["spectrum", wav, "--at", "0", "-o", self.path("x.txt")],
                         ["info", wav]):
                result = run(*args)
                self.assertEqual(result.returncode, 2, (message, args, result.stderr))
                self.assertEqual(result.stderr, "harrowlight-cli: %s\n" % message, args)
            self.assertFalse(os.path.exists(self.path("x.bmp")))

    def test_info_describes_a_file_of_100_bytes_and_names_rifx(self):
        small = self.path("small.wav")
        write_bytes(small, riff_wave(fmt_chunk(1, 1, 8000, 16, 2), chunk(b"data", bytes(56))))
        result = run("info", small)
        self.assertEqual(result.returncode, 0, result.stderr)
        for line in ["size: 100 bytes", "note: fewer than 2048 bytes", 'chunk: "fmt " at 12, 16 bytes',
                     'chunk: "data" at 36, 56 bytes', "sample rate: 8000 Hz", "resolution: 16 bits"]:
            self.assertIn(line, result.stdout)
        rifx = self.path("rifx.wav")
        fmt = struct.pack(">IHHIIHH", 16, 1, 2, 22050, 88200, 4, 16)
        write_bytes(rifx, b"RIFX" + struct.pack(">I", 4036) + b"WAVEfmt " + fmt + b"data" + struct.pack(">I", 4000) +
                    bytes(4000))
        result = run("info", rifx)
        self.assertEqual(result.returncode, 2)
        self.assertIn("format: RIFX (big-endian) Wave", result.stdout)
        self.assertNotIn("sample rate", result.stdout)  # the raw fallback's values are not the file's
        self.assertEqual(result.stderr, "harrowlight-cli: RIFX (big-endian) Wave files cannot be analysed\n")


_DECODER = {}


def decoder_missing():
    """Why the tool under test decodes no compressed files here, or None when it does. The
    static 32-bit build links no decoder library and says so; the Windows build decodes
    through Media Foundation, which under Wine is tested through the program
    (tests/e2e/compressed_e2e_test.cpp)."""
    if "reason" not in _DECODER:
        reason = None
        if under_wine() and "qemu" in os.path.basename(TOOL[0]):
            reason = "the static 32-bit build links no decoder library"
        elif under_wine():
            reason = "Media Foundation under Wine is tested through the program"
        else:
            with tempfile.TemporaryDirectory() as folder:
                wav = os.path.join(folder, "probe.wav")
                write_bytes(wav, wave_header(1, 8000, 16, 8000) + bytes(8000))
                encode("flac", "-s", "-o", os.path.join(folder, "probe.flac"), wav)
                result = run("info", os.path.join(folder, "probe.flac"))
                if result.returncode != 0:
                    reason = "this build decodes no compressed files: " + result.stderr.strip()
        _DECODER["reason"] = reason
    return _DECODER["reason"]


def encode(command, *args):
    """One of Debian's encoders (flac, lame, oggenc, opusenc; scripts/install-deps.sh)."""
    result = subprocess.run([command] + [str(a) for a in args], capture_output=True, timeout=120)
    assert result.returncode == 0, result.stderr


def pcm_wave(path, rate, channels, bits, frames):
    """A WAV of `frames` frames, each channel a 1500 Hz sine (scaled to `bits`) under soft noise."""
    import math
    import random
    noise = random.Random(5)
    peak = (1 << (bits - 1)) - 1
    data = bytearray()
    for i in range(frames):
        for c in range(channels):
            v = int(peak * (0.5 * math.sin(2 * math.pi * 1500 * i / rate + c) + 0.01 * noise.uniform(-1, 1)))
            data += v.to_bytes(bits // 8, "little", signed=True)
    write_bytes(path, wave_header(channels, rate, bits, len(data)) + bytes(data))
    return path


class CompressedSoundTest(ToolCase):
    def setUp(self):
        super().setUp()
        missing = decoder_missing()
        if missing:
            self.skipTest(missing)

    def rendered(self, source, name, *options):
        out = self.path(name)
        result = run("render", source, "-o", out, *options)
        self.assertEqual(result.returncode, 0, result.stderr)
        return read_bytes(out)

    def info(self, source):
        result = run("info", source)
        self.assertEqual(result.returncode, 0, result.stderr)
        return dict(line.split(": ", 1) for line in result.stdout.splitlines() if ": " in line)

    def test_lossless_flac_renders_its_wavs_image_bit_for_bit(self):
        for bits in (16, 24):
            wav = pcm_wave(self.path("w%d.wav" % bits), 44100, 2, bits, 44100)
            flac = self.path("w%d.flac" % bits)
            encode("flac", "-s", "-f", "-o", flac, wav)
            self.assertEqual(self.info(flac)["coding"], "FLAC %d-bit" % bits)
            self.assertEqual(self.rendered(flac, "f.bmp"), self.rendered(wav, "w.bmp"), bits)
            self.rendered(flac, "f.png")
            self.rendered(wav, "w.png")
            self.assertEqual(read_png(self.path("f.png"))[:4], read_png(self.path("w.png"))[:4], bits)
        # Standard input's copy is decoded through the same reads as a file.
        with open(flac, "rb") as f:
            piped = subprocess.run(TOOL + ["render", "-", "-o", self.path("p.bmp")], stdin=f, capture_output=True, timeout=120)
        self.assertEqual(piped.returncode, 0, piped.stderr)
        self.assertEqual(read_bytes(self.path("p.bmp")), self.rendered(wav, "w.bmp"))

    def test_lossy_tone_peaks_in_its_bin_and_keeps_its_length(self):
        frames = 3 * 44100
        wav = pcm_wave(self.path("tone.wav"), 44100, 1, 16, frames)
        cases = [("tone.mp3", "MP3 192 kbit/s", ["lame", "--quiet", "-b", "192"]),
                 ("tone.ogg", "Ogg Vorbis", ["oggenc", "-Q", "-o"]),
                 ("tone.opus", "Opus", ["opusenc", "--quiet"])]
        for name, coding, command in cases:
            out = self.path(name)
            encode(*(command + [out, wav] if command[0] == "oggenc" else command + [wav, out]))
            fields = self.info(out)
            self.assertEqual(fields["coding"], coding)
            rate = int(fields["sample rate"].split()[0])  # Opus decodes at 48 kHz
            decoded = int(fields["data length"].split()[0]) // 2
            # libsndfile drops the encoders' start padding (LAME's Info frame, Opus's pre-skip).
            self.assertLessEqual(abs(decoded / rate - frames / 44100), 512 / rate, name)
            result = run("spectrum", out, "--at", "1000", "-o", self.path("s.txt"))
            self.assertEqual(result.returncode, 0, result.stderr)
            rows = [line.split("\t") for line in read_bytes(self.path("s.txt")).decode("ascii").split("\r\n")[6:-1]]
            amps = [int(r[2]) for r in rows]
            self.assertEqual(amps.index(max(amps)), round(1500 / (rate / 512)), name)

    def test_mp3_after_a_20_mb_id3_tag_is_found_by_its_content(self):
        wav = pcm_wave(self.path("tone.wav"), 44100, 1, 16, 44100)
        mp3 = self.path("tone.mp3")
        encode("lame", "--quiet", wav, mp3)
        size = 20 << 20
        tag = b"ID3\x04\x00\x00" + bytes((size >> s) & 127 for s in (21, 14, 7, 0)) + bytes(size)
        tagged = self.path("tagged.bin")
        write_bytes(tagged, tag + read_bytes(mp3))
        self.assertEqual(self.rendered(tagged, "t.bmp"), self.rendered(mp3, "m.bmp"))
        # And a WAV named .mp3 is a WAV.
        named = self.path("wave.mp3")
        shutil.copy(wav, named)
        self.assertNotIn("coding", self.info(named))
        self.assertEqual(self.rendered(named, "n.bmp"), self.rendered(wav, "w.bmp"))

    def test_damaged_compressed_files_are_refused_in_one_line(self):
        wav = pcm_wave(self.path("tone.wav"), 44100, 1, 16, 2 * 44100)
        good = {}
        for name, command in [("a.flac", ["flac", "-s", "-f", "-o", self.path("a.flac"), wav]),
                              ("a.mp3", ["lame", "--quiet", wav, self.path("a.mp3")])]:
            encode(*command)
            good[name] = read_bytes(self.path(name))
        empty = pcm_wave(self.path("empty.wav"), 44100, 1, 16, 0)
        encode("oggenc", "-Q", "-o", self.path("zero.ogg"), empty)
        flac = bytearray(good["a.flac"])
        middle = len(flac) // 2
        flac[middle:middle + 64] = bytes(b ^ 0x5A for b in flac[middle:middle + 64])
        size = 20 << 20
        cases = {
            "cut.flac": good["a.flac"][:len(good["a.flac"]) // 2],
            "cut.mp3": good["a.mp3"][:len(good["a.mp3"]) // 2],
            "frame.flac": bytes(flac),
            "zero.ogg": read_bytes(self.path("zero.ogg")),
            "tag.mp3": b"ID3\x03\x00\x00" + bytes((size >> s) & 127 for s in (21, 14, 7, 0)) + bytes(4000),
            "noise.flac": bytes(random_bytes(8000)),
            "long.flac": claiming_frames(good["a.flac"], (1 << 36) - 1),
        }
        for name, data in cases.items():
            path = self.path(name)
            write_bytes(path, data)
            out = self.path("x.bmp")
            result = run("render", path, "-o", out)
            self.assertEqual(result.returncode, 2, (name, result.stderr))
            ours = [line for line in result.stderr.splitlines() if line.startswith("harrowlight-cli:")]
            self.assertEqual(len(ours), 1, (name, result.stderr))
            self.assertIn("Cannot decode the sound in the file: " + path, ours[0])
            self.assertFalse(os.path.exists(out), name)
            if name == "long.flac":
                self.assertIn("more than the 4 GiB a WAV's 32-bit data length holds", ours[0])

    def test_batch_over_a_folder_renders_its_flac_beside_its_wav(self):
        folder = self.path("in")
        os.mkdir(folder)
        wav = pcm_wave(os.path.join(folder, "b.wav"), 22050, 1, 16, 22050)
        encode("flac", "-s", "-f", "-o", os.path.join(folder, "a.flac"), wav)
        out = self.path("out")
        result = run("render", folder, "-d", out, "--format", "bmp")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(read_bytes(os.path.join(out, "a.bmp")), read_bytes(os.path.join(out, "b.bmp")))


def claiming_frames(flac, frames):
    """The FLAC with its stream header's 36-bit sample count set to `frames`."""
    fields = int.from_bytes(flac[18:26], "big")
    fields = (fields & ~((1 << 36) - 1)) | frames
    return flac[:18] + fields.to_bytes(8, "big") + flac[26:]


def random_bytes(count):
    import random
    noise = random.Random(11)
    return bytes([0]) + bytes(noise.randrange(256) for _ in range(count - 1))


if __name__ == "__main__":
    # Absolute, as some tests run the tool in their own folder.
    TOOL = [os.path.abspath(a) if os.path.exists(a) else a for a in sys.argv[1:]]
    unittest.main(argv=[sys.argv[0]], verbosity=1)
