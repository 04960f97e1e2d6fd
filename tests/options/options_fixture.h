// Shared by the option tests: fresh run settings and an archive state for every test, and a
// parse helper whose words outlive the parse (PASSWORD= and PRINT= keep pointers into them).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <string>
#include <vector>

#include "app/app.h"
#include "options/parser.h"
#include "options/run_options.h"
#include "zip/archive_state.h"

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetOptions(&gRunOptions);
    gArchiveState = &archive_;
    archive_.setArchiveName("a.zip");
  }
  void TearDown() override {
    gArchiveState = nullptr;
    ResetOptions(&gRunOptions);
  }

  void Parse(const std::vector<std::string>& words) {
    std::vector<char*> vector;
    for (const std::string& w : words) {
      kept_.push_back(w);
      vector.push_back(&kept_.back()[0]);
    }
    vector.push_back(nullptr);
    ProcessArguments(vector.data());
  }

  // The patterns of a name list in the order they were given (the lists push at the head).
  static std::vector<std::string> Patterns(const NameNode* head) {
    std::vector<std::string> patterns;
    for (const NameNode* n = head; n; n = n->next) patterns.push_back(n->pattern);
    std::reverse(patterns.begin(), patterns.end());
    return patterns;
  }
  std::vector<std::string> Includes() const { return Patterns(archive_.names.include); }
  std::vector<std::string> Excludes() const { return Patterns(archive_.names.exclude); }

  ArchiveState archive_;

 private:
  std::list<std::string> kept_;
};
