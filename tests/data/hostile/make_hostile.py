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
