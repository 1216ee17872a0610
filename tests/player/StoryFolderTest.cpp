#include "player/StoryFolder.h"

#include <gtest/gtest.h>

#include "../TestSupport.h"

namespace {

TEST(StoryFolder, ComesFromTheArgumentOrTheStoryBesideTheProgram) {
  TempDir dir;
  WriteFile(dir / "start.svx", "<BODY></BODY>");
  EXPECT_EQ(StoryFolderFor(dir.Path(), "/nowhere"), dir.Path());
  EXPECT_EQ(StoryFolderFor(dir / "start.svx", "/nowhere"), dir.Path());
  EXPECT_EQ(StoryFolderFor("start.svx", "/nowhere"), "start.svx");  // not here: the start-up says so
  // No argument: the program's folder when a story lies in it, else nobody knows yet.
  EXPECT_EQ(StoryFolderFor("", dir.Path()), dir.Path());
  TempDir empty;
  EXPECT_EQ(StoryFolderFor("", empty.Path()), "");
}

}  // namespace
