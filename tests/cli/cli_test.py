#!/usr/bin/env python3
"""The command-line tool from the outside: generated files, rendered images, refusals.

Usage: cli_test.py PATH/TO/harrowlight-cli [runner...]
A runner (for example the Wine loader) is put in front of the tool when given.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

TOOL = []


def run(*args):
    result = subprocess.run(TOOL + [str(a) for a in args], capture_output=True, text=True, timeout=120)
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


def pixel(data, header, x, row_from_bottom):
    return data[header["offbits"] + row_from_bottom * header["width"] + x]


class CliTest(unittest.TestCase):
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
        self.assertEqual(run("render", wav, "-o", png, "--width", "abc").returncode, 64)

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
            (["--at", "-1"], "bad option", 64),
            (["--at", "1.5"], "bad option", 64),
            (["--at", "10", "--fft", "4096"], "bad option", 64),
            ([], "needs --at", 64),
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


if __name__ == "__main__":
    TOOL = sys.argv[1:]
    unittest.main(argv=[sys.argv[0]], verbosity=1)
