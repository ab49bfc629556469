#pragma once
// Old-layout records and files for the benchmarks: whole records with valid
// counted texts (a length within the field's capacity, printable text) and
// random bytes everywhere else, which is valid for every other field.

#include <cstdint>
#include <string>
#include <vector>

#include "update/conversion.h"

// A small, fast generator, so that a GiB of records is made in about a second.
struct BenchRandom {
  uint64_t State;
  explicit BenchRandom(uint64_t seed) : State(seed) {}
  uint64_t Next() {
    uint64_t z = (State += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
};

// The registered spec of a file name ("hatch.tvn"); aborts when there is none.
const ConversionSpec& SpecFor(const std::string& fileName);
// The five files, in batch order.
std::vector<std::string> BenchFileNames();

// `count` old records in the layout the ConversionSpec names, one after the other.
std::vector<uint8_t> MakeOldRecords(const ConversionSpec& spec, size_t count, uint64_t seed);

// The number of whole old records that fill about `bytes`, never a count
// whose file size is a multiple of the new record size too (the program
// would take such a file for one already converted).
uint64_t RecordCountFor(const ConversionSpec& spec, uint64_t bytes);

// Writes an old-layout file of `records` records and flushes it to disk, so
// that no write-back of it overlaps a measurement. False on failure.
bool WriteOldFile(const std::string& path, const ConversionSpec& spec, uint64_t records);
