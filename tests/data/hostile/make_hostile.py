#!/usr/bin/env python3
"""Writes the tiny files whose headers declare far more pixels than their data can fill.

Each is a few dozen bytes; before the readers bounded their memory by the data, decoding them
took hundreds of megabytes or more. Run from this folder; the files are kept in the repository,
this script says how each was made.
"""
import struct
import zlib


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


def be16(v):
    return struct.pack(">H", v)


def be32(v):
    return struct.pack(">I", v)


def le16(v):
    return struct.pack("<H", v)


def le32(v):
    return struct.pack("<I", v)


# GIF: a 16384 x 16384 logical screen holding one 1 x 1 frame (35 bytes).
gif_head = b"GIF89a" + le16(16384) + le16(16384) + bytes([0x80, 0, 0]) + bytes([0, 0, 0, 255, 255, 255])
one_pixel = bytes([0x2C]) + le16(0) + le16(0) + le16(1) + le16(1) + bytes([0]) + bytes([2, 2, 0x44, 0x01, 0])
write("bomb-16384x16384-screen.gif", gif_head + one_pixel + b";")
# GIF: the same frame placed at the far corner of the screen: its extent is the whole screen.
far = bytes([0x2C]) + le16(16383) + le16(16383) + le16(1) + le16(1) + bytes([0]) + bytes([2, 2, 0x44, 0x01, 0])
write("bomb-16384x16384-corner.gif", gif_head + far + b";")


# JPEG 2000 codestream: one 8192 x 8192 tile, one 8-bit component, no wavelet levels, one
# layer, and a single empty packet.
def codestream(size, tile=None):
    tile = tile or size
    siz = be16(0) + be32(size) * 2 + be32(0) * 2 + be32(tile) * 2 + be32(0) * 2 + be16(1) + bytes([7, 1, 1])
    cod = bytes([0, 0]) + be16(1) + bytes([0]) + bytes([0, 4, 4, 0, 1])
    qcd = bytes([0x40, 8 << 3])
    body = bytes([0x00])  # an empty packet
    sot_len = 2 + 10 + 2 + len(body)
    sot = be16(0) + be32(sot_len) + bytes([0, 1])
    return (
        b"\xff\x4f"
        + b"\xff\x51" + be16(2 + len(siz)) + siz
        + b"\xff\x52" + be16(2 + len(cod)) + cod
        + b"\xff\x5c" + be16(2 + len(qcd)) + qcd
        + b"\xff\x90" + be16(2 + len(sot)) + sot
        + b"\xff\x93" + body
        + b"\xff\xd9"
    )


def box(kind, payload):
    return be32(8 + len(payload)) + kind + payload


cs = codestream(8192)
write("bomb-8192x8192-empty-packets.j2k", cs)
jp2 = (
    box(b"jP  ", b"\r\n\x87\n")
    + box(b"ftyp", b"jp2 " + be32(0) + b"jp2 ")
    + box(b"jp2h", box(b"ihdr", be32(8192) + be32(8192) + be16(1) + bytes([7, 7, 0, 0]))
          + box(b"colr", bytes([1, 0, 0]) + be32(17)))
    + box(b"jp2c", cs)
)
write("bomb-8192x8192-empty-packets.jp2", jp2)
# 2048 x 2040 in 8 x 8 tiles: 65280 tiles, each set up with its own coding parameters, from
# 82 bytes (the size alone is within what the data bound allows a JPEG 2000 file).
write("bomb-2048x2040-tiles.j2k", codestream(2048, 8).replace(be32(2048) * 2, be32(2048) + be32(2040), 1))


# TIFF: 4096 x 4096, 8-bit, with `spp` samples per pixel in one strip of 8 bytes. Deflate keeps
# libtiff from chopping the strip, so the reader asks for one buffer of the whole strip.
def tiff(width, height, spp, compression=1, photometric=1):
    entries = [
        (256, 4, 1, width),  # ImageWidth
        (257, 4, 1, height),  # ImageLength
        (258, 3, 1, 8),  # BitsPerSample
        (259, 3, 1, compression),
        (262, 3, 1, photometric),
        (273, 4, 1, 0),  # StripOffsets, patched below
        (277, 3, 1, spp),  # SamplesPerPixel
        (278, 4, 1, height),  # RowsPerStrip
        (279, 4, 1, 8),  # StripByteCounts
    ]
    ifd_size = 2 + 12 * len(entries) + 4
    data_at = 8 + ifd_size
    out = b"II*\x00" + le32(8) + le16(len(entries))
    for tag, kind, count, value in entries:
        if tag == 273:
            value = data_at
        packed = le16(value) + b"\x00\x00" if kind == 3 else le32(value)
        out += le16(tag) + le16(kind) + le32(count) + packed
    return out + le32(0) + bytes(8)


write("bomb-4096x4096-spp64.tif", tiff(4096, 4096, 64, compression=8))
write("bomb-4096x4096-spp8192.tif", tiff(4096, 4096, 8192, compression=8))
# The same with a sane pixel layout (RGB) but LZW data of 8 bytes for 48 MB of samples.
write("bomb-4096x4096-lzw.tif", tiff(4096, 4096, 3, compression=5, photometric=2))

# JPEG, arithmetic coded: 16384 x 16384 gray with no scan data (Huffman files already had a
# bound; arithmetic ones had none).
jpeg = (
    b"\xff\xd8"
    + b"\xff\xdb" + be16(67) + bytes([0]) + bytes([1] * 64)
    + b"\xff\xc9" + be16(11) + bytes([8]) + be16(16384) + be16(16384) + bytes([1, 1, 0x11, 0])
    + b"\xff\xda" + be16(8) + bytes([1, 1, 0x00, 0, 63, 0])
    + bytes(4)
    + b"\xff\xd9"
)
write("bomb-16384x16384-arithmetic.jpg", jpeg)


# PNG: 16384 x 16384 8-bit gray whose IDAT is one short zlib stream.
def chunk(kind, payload):
    return be32(len(payload)) + kind + payload + be32(zlib.crc32(kind + payload) & 0xFFFFFFFF)


png = (
    b"\x89PNG\r\n\x1a\n"
    + chunk(b"IHDR", be32(16384) + be32(16384) + bytes([8, 0, 0, 0, 0]))
    + chunk(b"IDAT", zlib.compress(bytes(64)))
    + chunk(b"IEND", b"")
)
write("bomb-16384x16384.png", png)


# BMP: 16384 x 16384 RLE8 whose data is one end-of-bitmap code.
def dib_rle8(width, height, bits):
    return (
        le32(40) + le32(width) + le32(height) + le16(1) + le16(8) + le32(1) + le32(len(bits))
        + le32(0) + le32(0) + le32(2) + le32(0)
        + bytes([0, 0, 0, 0, 255, 255, 255, 0])
    ) + bits


dib = dib_rle8(16384, 16384, bytes([0, 1]))
write("bomb-16384x16384-rle8.bmp", b"BM" + le32(14 + len(dib)) + le32(0) + le32(14 + 40 + 8) + dib)

# ICO: one entry, the same kind of RLE8 bitmap (the header's height counts the mask too).
entry = dib_rle8(16384, 2 * 16384, bytes([0, 1]))
write("bomb-16384x16384-rle8.ico",
      le16(0) + le16(1) + le16(1) + bytes([0, 0, 2, 0]) + le16(1) + le16(8) + le32(len(entry)) + le32(22) + entry)

# TGA: 65535 x 4096 run-length gray, one packet.
tga = bytes([0, 0, 11]) + bytes(5) + le16(0) + le16(0) + le16(65535) + le16(4096) + bytes([8, 0]) + bytes([0xFF, 7])
write("bomb-65535x4096-rle.tga", tga)

# PCX: 16000 x 16000, 8 bits, run-length, 64 bytes of runs.
pcx = bytearray(128)
pcx[0:4] = bytes([0x0A, 5, 1, 8])
pcx[8:12] = le16(15999) + le16(15999)
pcx[65] = 1
pcx[66:68] = le16(16000)
pcx[68:70] = le16(1)
write("bomb-16000x16000-rle.pcx", bytes(pcx) + bytes([0xFF, 0]) * 32)

# Sun raster, byte-encoded: 16000 x 16000, 8 bits, two runs.
ras = be32(0x59A66A95) + be32(16000) + be32(16000) + be32(8) + be32(6) + be32(2) + be32(0) + be32(0)
write("bomb-16000x16000-encoded.ras", ras + bytes([0x80, 0xFF, 1]) * 2)

# Uncompressed formats: the header declares 16000 x 16000, a few bytes follow.
write("bomb-16000x16000.wbmp", bytes([0, 0, 0x80 | 125, 0, 0x80 | 125, 0, 0xAA]))
write("bomb-16000x16000.pnm", b"P5 16000 16000 255\n\x01\x02")
write("bomb-16000x16000.pgx", b"PG ML + 8 16000 16000\n\x01")


# ---------------------------------------------------------------------------------------------
# The rest of the corpus: for every format we parse, headers that declare 65535 x 65535 or more
# over a few bytes, palette indexes beyond the palette, runs past the row or the image, chains
# and offsets past the end of the file, loops, and encrypted-file headers that are damaged or ask
# for absurd key derivation costs. Zero-length, truncated and misnamed files are made by the test
# itself from seed files it encodes (tests/codec/hostile_test.cpp).

def bmp_file(width, height, bpp, compression=0, colors=0, palette=b"", bits=b"", masks=b"", header_size=40, offset=None):
    info = (le32(header_size) + le32(width & 0xFFFFFFFF) + le32(height & 0xFFFFFFFF) + le16(1) + le16(bpp)
            + le32(compression) + le32(len(bits)) + le32(2835) + le32(2835) + le32(colors) + le32(0))
    head_len = 14 + 40 + len(masks) + len(palette)
    off = head_len if offset is None else offset
    return b"BM" + le32(head_len + len(bits)) + le32(0) + le32(off) + info + masks + palette + bits


gray2 = bytes([0, 0, 0, 0, 255, 255, 255, 0])
write("size-65535x65535.bmp", bmp_file(65535, 65535, 24, bits=bytes(16)))
write("height-int-min.bmp", bmp_file(4, -(1 << 31), 8, colors=2, palette=gray2, bits=bytes(16)))
write("width-2g.bmp", bmp_file(0x7FFFFFFF, 1, 1, colors=2, palette=gray2, bits=bytes(16)))
write("palette-index-8bit.bmp", bmp_file(4, 2, 8, colors=2, palette=gray2, bits=bytes([255, 200, 2, 1] * 2)))
write("palette-index-4bit.bmp", bmp_file(8, 2, 4, colors=2, palette=gray2, bits=bytes([0xFF, 0xE7, 0x21, 0x3F] * 2)))
write("palette-index-rle8.bmp", bmp_file(4, 2, 8, 1, colors=2, palette=gray2, bits=bytes([4, 200, 0, 0, 4, 3, 0, 1])))
write("rle8-run-past-row.bmp", bmp_file(4, 4, 8, 1, colors=2, palette=gray2, bits=bytes([255, 1] * 8 + [0, 1])))
write("rle8-delta-past-end.bmp", bmp_file(4, 4, 8, 1, colors=2, palette=gray2, bits=bytes([0, 2, 255, 255, 2, 1, 0, 1])))
write("rle8-absolute-past-end.bmp", bmp_file(4, 4, 8, 1, colors=2, palette=gray2, bits=bytes([0, 255, 1, 1, 1])))
write("rle4-run-past-row.bmp", bmp_file(4, 4, 4, 2, colors=2, palette=gray2, bits=bytes([255, 0x11] * 8 + [0, 1])))
write("rle8-no-end.bmp", bmp_file(16, 16, 8, 1, colors=2, palette=gray2, bits=bytes([0, 0] * 40)))
write("bitfields-zero-masks.bmp", bmp_file(2, 2, 16, 3, masks=le32(0) * 3, bits=bytes(8)))
write("bitfields-full-masks.bmp", bmp_file(2, 2, 32, 3, masks=le32(0xFFFFFFFF) * 3, bits=bytes(16)))
write("dib-header-size-huge.bmp", bmp_file(2, 2, 24, bits=bytes(16), header_size=0xFFFFFFF0))
write("bits-offset-past-end.bmp", bmp_file(2, 2, 24, bits=bytes(16), offset=0xFFFFFF00))
write("depth-64.bmp", bmp_file(2, 2, 64, bits=bytes(32)))
write("colors-used-4g.bmp", bmp_file(2, 2, 8, colors=0xFFFFFFFF, palette=gray2, bits=bytes(8)))


# GIF: LZW codes packed least significant bit first.
def lzw_bits(codes, width):
    acc = n = 0
    out = bytearray()
    for code, bits in codes if isinstance(codes[0], tuple) else [(c, width) for c in codes]:
        acc |= code << n
        n += bits
        while n >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            n -= 8
    if n:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = b""
    for i in range(0, len(data), 255):
        part = data[i:i + 255]
        out += bytes([len(part)]) + part
    return out + b"\x00"


def gif_file(sw, sh, frames, table_bits=1):
    table = bytes([0, 0, 0, 255, 255, 255] + [128] * (3 * (2 << table_bits) - 6))
    return b"GIF89a" + le16(sw) + le16(sh) + bytes([0x80 | table_bits, 0, 0]) + table + b"".join(frames) + b";"


def gif_image(x, y, w, h, min_code, data, packed=0):
    return bytes([0x2C]) + le16(x) + le16(y) + le16(w) + le16(h) + bytes([packed, min_code]) + data


ok_pixels = sub_blocks(lzw_bits([4, 1, 1, 1, 1, 5], 3))  # a clear, four pixels, the end
write("size-65535x65535.gif", gif_file(65535, 65535, [gif_image(0, 0, 65535, 65535, 2, ok_pixels)]))
write("frame-outside-screen.gif", gif_file(10, 10, [gif_image(65000, 65000, 100, 100, 2, ok_pixels)]))
write("frame-zero-size.gif", gif_file(10, 10, [gif_image(0, 0, 0, 0, 2, ok_pixels)]))
write("subblock-past-end.gif", gif_file(2, 2, [gif_image(0, 0, 2, 2, 2, bytes([255]) + lzw_bits([4, 1, 1], 3))])[:-1])
write("subblock-no-terminator.gif", gif_file(2, 2, [gif_image(0, 0, 2, 2, 2, ok_pixels[:-1])])[:-1])
write("comment-chain-past-end.gif", gif_file(2, 2, [b"\x21\xfe" + bytes([200]) + b"hostile"]))
write("application-chain-past-end.gif", gif_file(2, 2, [b"\x21\xff\x0bNETSCAPE2.0" + bytes([255, 1, 0])]))
write("plain-text-grid-65535.gif", gif_file(2, 2, [b"\x21\x01\x0c" + le16(0) * 2 + le16(65535) * 2 + bytes([255, 255, 1, 0]) + sub_blocks(b"A"),
                                                  gif_image(0, 0, 2, 2, 2, ok_pixels)]))
write("unknown-extension.gif", gif_file(2, 2, [b"\x21\x99" + sub_blocks(b"xx"), gif_image(0, 0, 2, 2, 2, ok_pixels)]))
write("gce-without-image.gif", gif_file(2, 2, [b"\x21\xf9\x04\x00\x0a\x00\x00\x00"]))
write("local-table-past-end.gif", gif_file(2, 2, [gif_image(0, 0, 2, 2, 2, b"", packed=0x87)])[:-1])
# A code one past the next free table entry (the clear is 4, the end 5, so 6 is the next free one).
write("lzw-code-past-table.gif", gif_file(2, 2, [gif_image(0, 0, 2, 2, 2, sub_blocks(lzw_bits([4, 1, 7, 7, 5], 3)))]))
# The first code after the clear is no literal.
write("lzw-first-code-not-literal.gif", gif_file(2, 2, [gif_image(0, 0, 2, 2, 2, sub_blocks(lzw_bits([4, 6, 5], 3)))]))
# Codes that keep the table growing past 4096 entries with no clear.
grow = [(256, 9)] + [(65, 9)] * 300 + [(65, 10)] * 600 + [(65, 11)] * 1200 + [(65, 12)] * 4000 + [(257, 12)]
write("lzw-table-overflow.gif", gif_file(64, 64, [gif_image(0, 0, 64, 64, 8, sub_blocks(lzw_bits(grow, 0)))], 7))
write("lzw-min-code-12.gif", gif_file(2, 2, [gif_image(0, 0, 2, 2, 12, ok_pixels)]))
write("lzw-min-code-0.gif", gif_file(2, 2, [gif_image(0, 0, 2, 2, 0, ok_pixels)]))
# Pixels 200 in a two-colour global table, 8-bit codes.
write("palette-index.gif", gif_file(2, 2, [gif_image(0, 0, 2, 2, 8, sub_blocks(lzw_bits([(256, 9)] + [(200, 9)] * 4 + [(257, 9)], 0)))]))
# An animation whose second and third frames are damaged: the stream decoder keeps what decodes.
frame_ok = b"\x21\xf9\x04\x04\x0a\x00\x00\x00" + gif_image(0, 0, 2, 2, 2, ok_pixels)
write("animation-damaged-frames.gif", gif_file(4, 4, [frame_ok, b"\x21\xf9\x04\x08\x0a\x00\x00\x00" + gif_image(2, 2, 2, 2, 2, sub_blocks(lzw_bits([4, 6, 5], 3))),
                                                      frame_ok, gif_image(60000, 0, 2, 2, 2, ok_pixels), frame_ok]))
# A thousand one-pixel frames on a small screen: every frame is walked, each costs little.
write("animation-1000-frames.gif", gif_file(16, 16, [b"\x21\xf9\x04\x0c\x01\x00\x00\x00" + gif_image(i % 16, (i // 16) % 16, 1, 1, 2, sub_blocks(lzw_bits([4, 1, 5], 3))) for i in range(1000)]))
# A screen the data bound still allows, under 64 one-pixel frames that restore what was under them.
write("animation-screen-4096.gif", gif_file(4096, 4096, [b"\x21\xf9\x04\x0c\x01\x00\x00\x00" + gif_image(i, i, 1, 1, 2, sub_blocks(lzw_bits([4, 1, 5], 3))) for i in range(64)]))


# JPEG segments.
def seg(marker, payload):
    return b"\xff" + bytes([marker]) + be16(2 + len(payload)) + payload


dqt = seg(0xDB, bytes([0]) + bytes([1] * 64))
dht_dc = seg(0xC4, bytes([0x00]) + bytes([1] + [0] * 15) + bytes([0]))
dht_ac = seg(0xC4, bytes([0x10]) + bytes([1] + [0] * 15) + bytes([0]))
sos1 = seg(0xDA, bytes([1, 1, 0x00, 0, 63, 0]))


def jpeg_file(sof):
    return b"\xff\xd8" + dqt + dht_dc + dht_ac + sof + sos1 + bytes(8) + b"\xff\xd9"


write("size-65535x65535.jpg", jpeg_file(seg(0xC0, bytes([8]) + be16(65535) + be16(65535) + bytes([1, 1, 0x11, 0]))))
write("height-zero.jpg", jpeg_file(seg(0xC0, bytes([8]) + be16(0) + be16(16) + bytes([1, 1, 0x11, 0]))))
write("components-255.jpg", jpeg_file(seg(0xC0, bytes([8]) + be16(8) + be16(8) + bytes([255, 1, 0x11, 0]))))
write("sampling-4x4.jpg", jpeg_file(seg(0xC0, bytes([8]) + be16(8) + be16(8) + bytes([3, 1, 0x44, 0, 2, 0x13, 0, 3, 0x31, 0]))))
write("precision-16.jpg", jpeg_file(seg(0xC0, bytes([16]) + be16(8) + be16(8) + bytes([1, 1, 0x11, 0]))))
write("huffman-overfull.jpg", b"\xff\xd8" + dqt + seg(0xC4, bytes([0x00]) + bytes([255] * 16) + bytes(range(256)) * 2)
      + seg(0xC0, bytes([8]) + be16(8) + be16(8) + bytes([1, 1, 0x11, 0])) + sos1 + bytes(8) + b"\xff\xd9")
write("segment-length-past-end.jpg", b"\xff\xd8\xff\xe1\xff\xff" + b"Exif\x00\x00")
write("exif-offsets-outside.jpg", b"\xff\xd8" + seg(0xE1, b"Exif\x00\x00II*\x00" + le32(0xFFFFFF00)) + jpeg_file(
    seg(0xC0, bytes([8]) + be16(8) + be16(8) + bytes([1, 1, 0x11, 0])))[2:])
write("exif-ifd-loop.jpg", b"\xff\xd8" + seg(0xE1, b"Exif\x00\x00II*\x00" + le32(8) + le16(1) + le16(0x8769) + le16(4) + le32(1) + le32(8) + le32(8))
      + jpeg_file(seg(0xC0, bytes([8]) + be16(8) + be16(8) + bytes([1, 1, 0x11, 0])))[2:])
icc_part = seg(0xE2, b"ICC_PROFILE\x00" + bytes([1, 255]) + bytes(100)) + seg(0xE2, b"ICC_PROFILE\x00" + bytes([1, 255]) + bytes(100))
write("icc-chunks-inconsistent.jpg", b"\xff\xd8" + icc_part + jpeg_file(seg(0xC0, bytes([8]) + be16(8) + be16(8) + bytes([1, 1, 0x11, 0])))[2:])
# Progressive: a thousand tiny refinement scans over a 2048 x 2048 frame.
prog = (b"\xff\xd8" + dqt + dht_dc + seg(0xC2, bytes([8]) + be16(2048) + be16(2048) + bytes([1, 1, 0x11, 0]))
        + seg(0xDA, bytes([1, 1, 0x00, 0, 0, 0])) + bytes(64))
for _ in range(1000):
    prog += seg(0xDA, bytes([1, 1, 0x00, 0, 0, 0x10])) + bytes(2)
write("progressive-1000-scans.jpg", prog + b"\xff\xd9")

# PNG.
def png_file(width, height, depth, color, idat, extra=b"", raw_ihdr=None):
    ihdr = raw_ihdr if raw_ihdr is not None else be32(width) + be32(height) + bytes([depth, color, 0, 0, 0])
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra + chunk(b"IDAT", idat) + chunk(b"IEND", b"")


write("size-65535x65535.png", png_file(65535, 65535, 8, 2, zlib.compress(bytes(64))))
write("width-2g.png", png_file(0x7FFFFFFF, 1, 8, 0, zlib.compress(bytes(64))))
write("palette-index.png", png_file(4, 2, 8, 3, zlib.compress(bytes([0, 200, 201, 202, 203] * 2)), chunk(b"PLTE", bytes([0, 0, 0, 255, 255, 255]))))
write("palette-missing.png", png_file(4, 2, 8, 3, zlib.compress(bytes([0, 1, 0, 1, 0] * 2))))
write("color-type-7.png", png_file(4, 2, 8, 7, zlib.compress(bytes(20))))
write("chunk-length-2g.png", b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", be32(4) + be32(2) + bytes([8, 0, 0, 0, 0])) + be32(0x7FFFFFFF) + b"IDAT" + bytes(16))
write("crc-wrong.png", png_file(4, 2, 8, 0, zlib.compress(bytes(10))).replace(b"IEND\xae", b"IEND\x00"))
write("deflate-corrupt.png", png_file(4, 2, 8, 0, b"\x78\x9c\xff\xff\xff\xff\xff\xff"))
write("filter-type-9.png", png_file(4, 2, 8, 0, zlib.compress(bytes([9, 1, 2, 3, 4] * 2))))
write("idat-too-long.png", png_file(4, 2, 8, 0, zlib.compress(bytes(100000))))
# Metadata chunks that inflate to 32 MB from 32 KB.
write("iccp-bomb.png", png_file(4, 2, 8, 0, zlib.compress(bytes(10)), chunk(b"iCCP", b"icc\x00\x00" + zlib.compress(bytes(32 << 20), 9))))
write("ztxt-bomb.png", png_file(4, 2, 8, 0, zlib.compress(bytes(10)), chunk(b"zTXt", b"Comment\x00\x00" + zlib.compress(bytes(32 << 20), 9))))
write("exif-offsets-outside.png", png_file(4, 2, 8, 0, zlib.compress(bytes(10)), chunk(b"eXIf", b"II*\x00" + le32(0xFFFFFF00))))
write("text-chunks-2000.png", png_file(4, 2, 8, 0, zlib.compress(bytes(10)), chunk(b"tEXt", b"k\x00v") * 2000))

# ICO.
def ico_file(entries, body):
    out = le16(0) + le16(1) + le16(len(entries))
    for w, h, size, offset in entries:
        out += bytes([w & 255, h & 255, 0, 0]) + le16(1) + le16(32) + le32(size) + le32(offset)
    return out + body


ico_dib8 = dib_rle8(4, 4, b"")[:-8]
write("count-65535.ico", le16(0) + le16(1) + le16(65535) + bytes(16))
write("entry-offset-past-end.ico", ico_file([(4, 4, 40, 0xFFFFFF00)], bytes(40)))
write("entry-size-4g.ico", ico_file([(4, 4, 0xFFFFFFFF, 22)], bytes(40)))
write("entry-png-65535x65535.ico", ico_file([(0, 0, 200, 22)], png_file(65535, 65535, 8, 6, zlib.compress(bytes(64)))))
palette_dib = (le32(40) + le32(4) + le32(8) + le16(1) + le16(8) + le32(0) + le32(0) + le32(0) + le32(0) + le32(2) + le32(0)
               + gray2 + bytes([200, 201, 1, 255]) * 4 + bytes([0, 0, 0, 0]) * 4)
write("palette-index.ico", ico_file([(4, 4, len(palette_dib), 22)], palette_dib))
write("mask-missing.ico", ico_file([(4, 4, len(palette_dib) - 16, 22)], palette_dib[:-16]))
write("rle8-run-past-row.ico", ico_file([(4, 4, 100, 22)], dib_rle8(4, 8, bytes([255, 1] * 8 + [0, 1]))))
write("entries-overlap-header.ico", ico_file([(4, 4, 100, 0)], bytes(100)))


# TIFF with free-form entries: (tag, type, count, value or bytes); arrays placed after the IFD.
def tiff_file(entries, data=b"", next_ifd=0, data_at=None):
    ifd_size = 2 + 12 * len(entries) + 4
    extra_at = 8 + ifd_size
    extra = b""
    out_entries = b""
    for tag, kind, count, value in sorted(entries):
        if isinstance(value, bytes):
            if len(value) <= 4:
                packed = value + bytes(4 - len(value))
            else:
                packed = le32(extra_at + len(extra))
                extra += value
        else:
            packed = le16(value) + b"\x00\x00" if kind == 3 else le32(value & 0xFFFFFFFF)
        out_entries += le16(tag) + le16(kind) + le32(count) + packed
    body_at = extra_at + len(extra)
    out = b"II*\x00" + le32(8) + le16(len(entries)) + out_entries + le32(next_ifd) + extra + data
    return out.replace(b"@@AT", le32(body_at))


def gray_tiff(width, height, offset, count, compression=1, rows=None, spp=1, bps=8, photometric=1, extra=()):
    return [(256, 4, 1, width), (257, 4, 1, height), (258, 3, 1, bps), (259, 3, 1, compression), (262, 3, 1, photometric),
            (273, 4, 1, offset), (277, 3, 1, spp), (278, 4, 1, rows or height), (279, 4, 1, count)] + list(extra)


write("size-65535x65535.tif", tiff_file(gray_tiff(65535, 65535, b"@@AT", 8), bytes(8)))
write("strip-offset-outside.tif", tiff_file(gray_tiff(4, 4, 0x7FFFFFF0, 16), bytes(16)))
write("strip-bytecount-4g.tif", tiff_file(gray_tiff(4, 4, b"@@AT", 0xFFFFFFFF), bytes(16)))
write("strips-100000.tif", tiff_file([e for e in gray_tiff(4, 100000, 0, 0, rows=1) if e[0] not in (273, 279)]
                                     + [(273, 4, 100000, 0x100), (279, 4, 100000, 0x200)], bytes(16)))
write("tile-65536.tif", tiff_file([e for e in gray_tiff(65536, 65536, 0, 0) if e[0] not in (273, 278, 279)]
                                  + [(322, 4, 1, 65536), (323, 4, 1, 65536), (324, 4, 1, b"@@AT"), (325, 4, 1, 16)], bytes(16)))
write("tile-offset-outside.tif", tiff_file([e for e in gray_tiff(16, 16, 0, 0) if e[0] not in (273, 278, 279)]
                                           + [(322, 4, 1, 16), (323, 4, 1, 16), (324, 4, 1, 0x7FFFFFF0), (325, 4, 1, 256)], bytes(16)))
write("packbits-run-past-strip.tif", tiff_file(gray_tiff(4, 4, b"@@AT", 6, compression=32773), bytes([0x81, 7, 0x81, 7, 0x81, 7])))
# LZW: a clear (256) then code 4000, far past the next free entry (258).
write("lzw-code-past-table.tif", tiff_file(gray_tiff(4, 4, b"@@AT", 6, compression=5),
                                           bytes([0x80, 0x3E, 0x80, 0x80, 0x80, 0x80])))
write("colormap-short.tif", tiff_file(gray_tiff(4, 4, b"@@AT", 16, photometric=3, extra=[(320, 3, 3, bytes(6))]), bytes([200] * 16)))
write("bits-per-sample-3.tif", tiff_file(gray_tiff(4, 4, b"@@AT", 16, bps=3, spp=3, photometric=2), bytes(16)))
write("ojpeg-garbage.tif", tiff_file(gray_tiff(4, 4, b"@@AT", 16, compression=6, photometric=6, spp=3), bytes(16)))
write("jpeg-garbage.tif", tiff_file(gray_tiff(4, 4, b"@@AT", 16, compression=7), b"\xff\xd8\xff\xc0" + bytes(12)))
write("ifd-entries-65535.tif", b"II*\x00" + le32(8) + le16(65535) + bytes(24))
write("ifd-offset-outside.tif", b"II*\x00" + le32(0xFFFFFFF0))
write("ifd-self-loop.tif", tiff_file(gray_tiff(4, 4, b"@@AT", 16), bytes(16), next_ifd=8))
# Two pages whose IFDs point at each other.
page = tiff_file(gray_tiff(4, 4, b"@@AT", 16), bytes(16))
second_at = len(page)
first = tiff_file(gray_tiff(4, 4, b"@@AT", 16), bytes(16), next_ifd=second_at)
second_ifd = le16(9) + first[10:10 + 12 * 9] + le32(8)
write("ifd-two-page-loop.tif", first + second_ifd)
write("exif-ifd-loop.tif", tiff_file(gray_tiff(4, 4, b"@@AT", 16, extra=[(34665, 4, 1, 8)]), bytes(16)))
write("big-endian-strip-outside.tif", b"MM\x00*" + be32(8) + be16(2) + be16(256) + be16(4) + be32(1) + be32(4) + be16(273) + be16(4) + be32(1) + be32(0xFFFFFF00) + be32(0))

# TGA.
def tga_file(kind, width, height, bpp, body, cmap=(0, 0, 0, 0), descriptor=0, id_len=0):
    has_map, first, length, entry = cmap
    return (bytes([id_len, has_map, kind]) + le16(first) + le16(length) + bytes([entry]) + le16(0) + le16(0)
            + le16(width) + le16(height) + bytes([bpp, descriptor])) + body


write("size-65535x65535.tga", tga_file(2, 65535, 65535, 24, bytes(16)))
write("palette-index.tga", tga_file(1, 4, 2, 8, bytes([0, 0, 0, 255, 255, 255]) + bytes([200, 1, 0, 255] * 2), (1, 0, 2, 24)))
write("colormap-past-end.tga", tga_file(1, 4, 2, 8, bytes(8), (1, 65535, 65535, 32)))
write("rle-run-past-end.tga", tga_file(11, 2, 2, 8, bytes([0xFF, 7, 0xFF, 7])))
write("rle-raw-past-end.tga", tga_file(10, 2, 2, 24, bytes([0x7F, 1, 2, 3])))
write("id-past-end.tga", tga_file(2, 2, 2, 24, bytes(4), id_len=255))
write("depth-64.tga", tga_file(2, 2, 2, 64, bytes(32)))
write("palette-index-rle.tga", tga_file(9, 4, 2, 8, bytes([0, 0, 0, 255, 255, 255]) + bytes([0x87, 250]), (1, 0, 2, 24)))


# PCX.
def pcx_file(xmax, ymax, bits, planes, bpl, body, xmin=0, ymin=0, encoding=1):
    h = bytearray(128)
    h[0:4] = bytes([0x0A, 5, encoding, bits])
    h[4:12] = le16(xmin) + le16(ymin) + le16(xmax) + le16(ymax)
    h[65] = planes
    h[66:68] = le16(bpl)
    h[68:70] = le16(1)
    return bytes(h) + body


write("size-65535x65535.pcx", pcx_file(65534, 65534, 8, 1, 65535, bytes([0xC1, 0]) * 8))
write("bytes-per-line-0.pcx", pcx_file(3, 1, 8, 1, 0, bytes(16)))
write("bytes-per-line-short.pcx", pcx_file(15, 1, 8, 3, 2, bytes(64)))
write("xmin-above-xmax.pcx", pcx_file(1, 1, 8, 1, 2, bytes(16), xmin=5))
write("rle-run-past-row.pcx", pcx_file(3, 1, 8, 1, 4, bytes([0xFF, 9, 0xFF, 9, 0xFF, 9])))
write("vga-palette-missing.pcx", pcx_file(3, 1, 8, 1, 4, bytes([0xC4, 200])))
# A 256-colour picture whose palette at the end is cut off: its pixels are all there.
write("vga-palette-cut.pcx", pcx_file(3, 1, 8, 1, 4, bytes([0xC4, 200]) + bytes([0x0C, 1, 2, 3])))
write("planes-255.pcx", pcx_file(3, 1, 8, 255, 4, bytes([0xFF, 0]) * 40))
write("bits-3.pcx", pcx_file(3, 1, 3, 1, 4, bytes(8)))

# WBMP: sizes as multi-byte integers.
write("size-65535x65535.wbmp", bytes([0, 0, 0x83, 0xFF, 0x7F, 0x83, 0xFF, 0x7F, 0xAA]))
write("size-varint-overflow.wbmp", bytes([0, 0]) + bytes([0xFF] * 12) + bytes([0x7F, 1, 0]))
write("type-1.wbmp", bytes([1, 0, 8, 8]) + bytes(8))
write("fixed-header-extension.wbmp", bytes([0, 0x80]) + bytes([0xFF] * 20))


# WMF: a placeable header, the metafile header, then records (size in 16-bit words).
def wmf_file(records, bbox=(0, 0, 100, 100), inch=96, objects=4, placeable=True):
    body = b"".join(records) + le32(3) + le16(0)
    meta = le16(1) + le16(9) + le16(0x300) + le32((18 + len(body)) // 2) + le16(objects) + le32(16) + le16(0)
    if not placeable:
        return meta + body
    head = le32(0x9AC6CDD7) + le16(0) + b"".join(struct.pack("<h", v) for v in bbox) + le16(inch) + le32(0)
    check = 0
    for i in range(0, 20, 2):
        check ^= struct.unpack("<H", head[i:i + 2])[0]
    return head + le16(check) + meta + body


def rec(function, params=b"", size=None):
    return le32(size if size is not None else 3 + len(params) // 2) + le16(function) + params


write("frame-65535.wmf", wmf_file([rec(0x041B, le16(50) * 4)], bbox=(-32768, -32768, 32767, 32767), inch=1))
write("record-size-0.wmf", wmf_file([rec(0x041B, le16(50) * 4, size=0)] * 3))
write("record-size-2g.wmf", wmf_file([rec(0x041B, le16(50) * 4, size=0x7FFFFFFF)]))
write("objects-65535.wmf", wmf_file([rec(0x02FC, le16(0) + le32(0) + le16(0))] * 200, objects=65535))
write("polygon-count-32767.wmf", wmf_file([rec(0x0324, le16(32767) + le16(1) * 4)]))
write("polypolygon-counts.wmf", wmf_file([rec(0x0538, le16(1000) + le16(65535) * 4)]))
# A StretchDIB record holding a 65535 x 65535 bitmap of a few bytes.
big_dib = le32(40) + le32(65535) + le32(65535) + le16(1) + le16(24) + le32(0) * 6 + bytes(16)
write("stretchdib-65535.wmf", wmf_file([rec(0x0F43, le32(0x00CC0020) + le16(0) * 2 + le16(100) * 2 + le16(0) * 2 + le16(100) * 2 + big_dib)]))
write("window-extent-1.wmf", wmf_file([rec(0x020C, le16(1) * 2), rec(0x020B, le16(0) * 2), rec(0x041B, le16(50) * 4)], bbox=(0, 0, 32767, 32767), inch=1440))
write("no-placeable-text-1000.wmf", wmf_file([rec(0x0521, le16(4) + b"ABCD" + le16(30000) * 2)] * 1000, placeable=False))

# JPEG 2000 codestreams with absurd tiling and parameters.
def j2k(width, height, tile_w, tile_h, comps=1, depth=7, levels=0, cblk=(4, 4), x0=0, y0=0, tx0=0, ty0=0, body=b"\x00"):
    siz = (be16(0) + be32(width) + be32(height) + be32(x0) + be32(y0) + be32(tile_w) + be32(tile_h) + be32(tx0) + be32(ty0)
           + be16(comps) + bytes([depth, 1, 1]) * min(comps, 4))
    cod = bytes([0, 0]) + be16(1) + bytes([0]) + bytes([levels, cblk[0], cblk[1], 0, 1])
    qcd = bytes([0x40]) + bytes([8 << 3]) * (1 + 3 * levels)
    sot = be16(0) + be32(2 + 10 + 2 + len(body)) + bytes([0, 1])
    return (b"\xff\x4f" + b"\xff\x51" + be16(2 + len(siz)) + siz + b"\xff\x52" + be16(2 + len(cod)) + cod
            + b"\xff\x5c" + be16(2 + len(qcd)) + qcd + b"\xff\x90" + be16(2 + len(sot)) + sot + b"\xff\x93" + body + b"\xff\xd9")


write("tiles-1x1-65535x65535.j2k", j2k(65535, 65535, 1, 1))
write("tiles-1x1-1024x1024.j2k", j2k(1024, 1024, 1, 1))
write("size-4g.j2k", j2k(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF))
write("tile-origin-past-image.j2k", j2k(64, 64, 16, 16, x0=32, y0=32, tx0=48, ty0=48))
write("tile-size-0.j2k", j2k(64, 64, 0, 0))
write("components-16384.j2k", j2k(64, 64, 64, 64, comps=16384))
write("depth-38.j2k", j2k(64, 64, 64, 64, depth=37))
write("levels-32.j2k", j2k(64, 64, 64, 64, levels=32))
write("codeblock-2e15.j2k", j2k(64, 64, 64, 64, cblk=(13, 13)))
write("tile-index-past-grid.j2k", j2k(64, 64, 16, 16).replace(b"\xff\x90\x00\x0a\x00\x00", b"\xff\x90\x00\x0a\xff\xf0"))
write("tile-part-length-past-end.j2k", j2k(64, 64, 64, 64).replace(be32(2 + 10 + 2 + 1), be32(0x7FFFFFF0)))
small_cs = j2k(8, 8, 8, 8)
write("box-length-4g.jp2", box(b"jP  ", b"\r\n\x87\n") + be32(0xFFFFFFFF) + b"ftyp" + b"jp2 " + bytes(4))
write("box-xl-length.jp2", box(b"jP  ", b"\r\n\x87\n") + be32(1) + b"ftyp" + be32(0xFFFFFFFF) + be32(0xFFFFFF00) + b"jp2 ")
write("ihdr-65535-codestream-8.jp2", box(b"jP  ", b"\r\n\x87\n") + box(b"ftyp", b"jp2 " + be32(0) + b"jp2 ")
      + box(b"jp2h", box(b"ihdr", be32(65535) + be32(65535) + be16(1) + bytes([7, 7, 0, 0])) + box(b"colr", bytes([1, 0, 0]) + be32(17)))
      + box(b"jp2c", small_cs))
# A palette of two entries that the component mapping indexes with entry 200 and column 9.
pclr = be16(2) + bytes([3]) + bytes([7, 7, 7]) + bytes([0, 0, 0, 255, 255, 255])
cmap = be16(0) + bytes([1, 9]) + be16(0) + bytes([1, 200]) + be16(0) + bytes([1, 1])
write("palette-index.jp2", box(b"jP  ", b"\r\n\x87\n") + box(b"ftyp", b"jp2 " + be32(0) + b"jp2 ")
      + box(b"jp2h", box(b"ihdr", be32(8) + be32(8) + be16(1) + bytes([7, 7, 0, 0])) + box(b"colr", bytes([1, 0, 0]) + be32(16))
            + box(b"pclr", pclr) + box(b"cmap", cmap))
      + box(b"jp2c", small_cs))
write("boxes-empty-1000.jp2", box(b"jP  ", b"\r\n\x87\n") + box(b"ftyp", b"jp2 " + be32(0) + b"jp2 ") + box(b"free", b"") * 1000 + box(b"jp2c", small_cs))

# PGX.
write("size-65535x65535.pgx", b"PG ML + 8 65535 65535\n" + bytes(4))
write("depth-32.pgx", b"PG ML + 32 2 2\n" + bytes(16))
write("depth-0.pgx", b"PG ML + 0 2 2\n" + bytes(4))
write("size-negative.pgx", b"PG ML + 8 -5 3\n" + bytes(16))
write("size-20-digits.pgx", b"PG ML + 8 99999999999999999999 1\n" + bytes(16))

# PNM.
write("size-65535x65535.ppm", b"P6 65535 65535 255\n" + bytes(6))
write("size-65535x65535.pbm", b"P4 65535 65535\n" + bytes(6))
write("maxval-0.pgm", b"P5 2 2 0\n" + bytes(4))
write("maxval-65536.pgm", b"P5 2 2 65536\n" + bytes(8))
write("size-20-digits.pgm", b"P5 99999999999999999999 1 255\n" + bytes(4))
write("ascii-value-above-maxval.pgm", b"P2 2 2 15\n1 999999 3 99999999999999999999\n")
write("ascii-letters.ppm", b"P3 2 1 255\n1 2 x 4 5 6\n")
write("comment-without-end.pgm", b"P5 #" + b"x" * 200)
write("ascii-bits-2.pbm", b"P1 2 2\n0 2 1 0\n")

# Sun raster.
def ras_file(width, height, depth, kind, body, maptype=0, maplength=0, length=None):
    return (be32(0x59A66A95) + be32(width) + be32(height) + be32(depth) + be32(len(body) if length is None else length)
            + be32(kind) + be32(maptype) + be32(maplength)) + body


write("size-65535x65535.ras", ras_file(65535, 65535, 24, 1, bytes(16)))
write("palette-index.ras", ras_file(4, 2, 8, 1, bytes([0, 255, 0, 255, 0, 255]) + bytes([200, 1, 0, 255] * 2), 1, 6))
write("rle-run-past-end.ras", ras_file(4, 2, 8, 2, bytes([0x80, 0xFF, 5, 0x80, 0xFF, 5])))
write("rle-escape-at-end.ras", ras_file(4, 2, 8, 2, bytes([1, 2, 0x80])))
write("maplength-4g.ras", ras_file(4, 2, 8, 1, bytes(8), 1, 0xFFFFFFF0))
write("depth-7.ras", ras_file(4, 2, 7, 1, bytes(8)))
write("length-lies.ras", ras_file(4, 2, 8, 1, bytes(8), length=0xFFFFFFFF))


# Encrypted files (layout in crypt/cipher_format.h): headers a decryption must refuse before it
# derives a key or reads a chunk, and headers with sane parameters over bodies that are not ours.
def enc_header(magic=b"PLMCRYPT", version=1, alg=2, reserved=0, ops=1, mem=8):
    return (magic + bytes([version, alg]) + le16(reserved) + le32(ops) + le32(mem) + bytes(range(16))
            + bytes(range(16, 32)) + bytes(range(32, 56)))


write("enc-magic-only.plm", b"PLMCRYPT")
write("enc-header-cut.plm", enc_header()[:75])
write("enc-magic-wrong.plm", enc_header(magic=b"PLMCRYPX") + bytes(40))
write("enc-version-2.plm", enc_header(version=2) + bytes(40))
write("enc-algorithm-1.plm", enc_header(alg=1) + bytes(40))
write("enc-reserved-set.plm", enc_header(reserved=1) + bytes(40))
write("enc-ops-0.plm", enc_header(ops=0) + bytes(40))
write("enc-ops-4g.plm", enc_header(ops=0xFFFFFFFF) + bytes(40))
write("enc-mem-4g.plm", enc_header(mem=0xFFFFFFFF) + bytes(40))
write("enc-mem-above-limit.plm", enc_header(mem=512 * 1024 + 1) + bytes(40))
write("enc-mem-below-minimum.plm", enc_header(mem=7) + bytes(40))
write("enc-no-body.plm", enc_header())
write("enc-chunk-cut.plm", enc_header() + bytes(16))
write("enc-chunk-garbage.plm", enc_header() + bytes(range(256)) * 4)

# Seeds the tests cut at many points: a three-frame animation (as the frame decoder walks it)
# and a two-page TIFF (as the page reader walks it).
local_frame = (bytes([0x2C]) + le16(1) + le16(1) + le16(2) + le16(2) + bytes([0x80]) + bytes([9, 9, 9, 200, 0, 0])
               + bytes([2]) + ok_pixels)
write("seed-animation.gif", gif_file(4, 4, [b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", frame_ok,
                                            b"\x21\xfe" + sub_blocks(b"a comment"),
                                            b"\x21\xf9\x04\x08\x0a\x00\x00\x00" + gif_image(2, 2, 2, 2, 2, ok_pixels),
                                            b"\x21\xf9\x04\x0d\x0a\x00\x01\x00" + local_frame]))
pages = tiff_file(gray_tiff(4, 4, b"@@AT", 16), bytes(range(0, 160, 10)), next_ifd=0)
second_page_at = len(pages) + (len(pages) & 1)
page_one = tiff_file(gray_tiff(4, 4, b"@@AT", 16), bytes(range(0, 160, 10)), next_ifd=second_page_at)
page_two_entries = gray_tiff(8, 2, second_page_at + 2 + 12 * 9 + 4, 16)
page_two = le16(9) + b"".join(le16(t) + le16(k) + le32(c) + (le16(v) + b"\x00\x00" if k == 3 else le32(v)) for t, k, c, v in sorted(page_two_entries)) + le32(0)
write("seed-two-pages.tif", page_one + bytes(second_page_at - len(page_one)) + page_two + bytes(range(100, 260, 10)))
