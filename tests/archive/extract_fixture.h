// Runs extractions of archives built in the test, once per thread count of the parameter.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "archive/archive_builder.h"
#include "archive/extract.h"
#include "common/scratch_dir.h"

namespace archive_test {

// Files below a folder by their path relative to it ("sub\name"), with their content.
using Tree = std::map<std::string, std::string>;
Tree ReadTree(const std::string& dir);

// Everything below a folder, folders included (with a trailing "\").
std::map<std::string, bool> ListTree(const std::string& dir);

class ExtractTest : public ::testing::TestWithParam<unsigned> {
 protected:
  archive::ExtractResult Run(const std::string& bytes, archive::ExtractOptions options = {});
  archive::ExtractResult Run(const ArchiveBuilder& builder, archive::ExtractOptions options = {}) {
    return Run(builder.Bytes(), std::move(options));
  }
  Tree Files() const { return ReadTree(dest_); }
  // A file below the destination before the extraction.
  void Put(const std::string& name, const std::string& content);

  testing_support::ScratchDir scratch_;
  const std::string archive_ = scratch_.Path() + "test.ilds";
  const std::string dest_ = scratch_.Path() + "out\\";
};

#define INSTANTIATE_FOR_THREADS(suite) \
  INSTANTIATE_TEST_SUITE_P(Threads, suite, ::testing::Values(1u, 4u))

}  // namespace archive_test
