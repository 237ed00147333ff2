#pragma once

// Where this build put the programs that tests start, and where the sources
// lie. They come from one generated file, so that no other test's command
// line names a path of this checkout and a clone elsewhere reuses its
// compiled objects.
namespace build_paths {
extern const char* const monitor;    // kestrova
extern const char* const logger_sim; // kestrova-logger-sim
extern const char* const history;    // kestrova-history
extern const char* const source_dir; // the checkout
extern const char* const test_data;  // tests/data
} // namespace build_paths
