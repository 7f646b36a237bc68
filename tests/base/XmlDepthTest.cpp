#include "base/XmlDepth.h"

#include <gtest/gtest.h>

#include <string>

using vekt::base::xmlNestingDepth;

TEST(XmlNestingDepth, CountsOnlyOpenElements) {
  struct Case {
    const char* text;
    int depth;
  } cases[] = {
      {"<a/>", 0},
      {"<a><b/></a>", 1},
      {"<a><b><c>t</c></b></a>", 3},
      {"<a x='>'><b/></a>", 1},
      {"<a><!-- <b><c><d> --></a>", 1},
      {"<a><![CDATA[<b><c>]]></a>", 1},
      {"<![CDATA[><b><c>]]><a/>", 2},
      {"<?xml version='1.0'?><!DOCTYPE a><a></a>", 1},
      {"<a><b></b><b></b></a>", 2},
      {"<a><b", 2},
      {"</a></a><b>", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(xmlNestingDepth(c.text, 100), c.depth);
  }
  std::string deep;
  for (int i = 0; i < 1000; ++i) deep += "<a>";
  EXPECT_EQ(xmlNestingDepth(deep, 10), 11);  // stops counting past the limit
}
