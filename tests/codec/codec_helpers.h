#pragma once

// Helpers shared by the format tests: encoding and decoding through the format table or through
// a format's own entry points, inputs a reader must refuse, and a gray test picture.

#include "codec/result.h"
#include "codec/ximage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

using EncodeFn = codec::Result (*)(const codec::CxImage&, std::vector<std::uint8_t>&);
using DecodeFn = codec::Result (*)(codec::ByteView, const codec::DecodeLimits&, codec::CxImage&);

/// Encodes with a format's entry point; a failure fails the test with the codec's message.
std::vector<std::uint8_t> EncodeWith(EncodeFn encode, const codec::CxImage& image);
/// Decodes with a format's entry point and the default limits; a failure fails the test.
codec::CxImage DecodeWith(DecodeFn decode, codec::ByteView bytes);
/// Decodes with a format's entry point and the default limits, with the reader's message when it
/// fails.
::testing::AssertionResult Decodes(DecodeFn decode, codec::ByteView bytes, codec::CxImage& out);

/// Encodes `image` as `type` and decodes the bytes again; an invalid image (with the error in
/// GetLastError) when either step fails.
codec::CxImage RoundTrip(const codec::CxImage& image, std::uint32_t type, std::vector<std::uint8_t>* bytes = nullptr);

/// Decodes bytes as `type` (0: recognise the content).
codec::CxImage DecodeBytes(const std::vector<std::uint8_t>& bytes, std::uint32_t type);

/// An input a reader must refuse, and part of the error it must give.
struct BadInput {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* says;
};
/// Every input fails to decode as `type`, leaves the image empty and gives its error.
void ExpectRefused(const std::vector<BadInput>& inputs, std::uint32_t type);

/// An input a format's reader must refuse, and the status it must give.
struct HostileInput {
    const char* name;
    std::vector<std::uint8_t> bytes;
    codec::Status status;
};
/// Every input fails to decode with its status and a message.
void ExpectRefused(DecodeFn decode, const std::vector<HostileInput>& inputs);

/// An 8-bit image with a gray ramp palette and a pattern that uses many levels.
codec::CxImage MakeGrayImage(std::uint32_t width, std::uint32_t height);

} // namespace testing_support
