#include "core/paths.h"

#include <gtest/gtest.h>

using namespace core;

TEST(Paths, FileName)
{
    EXPECT_EQ(PathFileName("/home/anna/photo.jpg"), "photo.jpg");
    EXPECT_EQ(PathFileName("C:\\pics\\photo.jpg"), "photo.jpg");
    EXPECT_EQ(PathFileName("C:/pics\\mixed/photo.jpg"), "photo.jpg");
    EXPECT_EQ(PathFileName("/home//anna///photo.jpg"), "photo.jpg");
    EXPECT_EQ(PathFileName("/home/anna/"), "anna");
    EXPECT_EQ(PathFileName("/home/anna//"), "anna");
    EXPECT_EQ(PathFileName("photo.jpg"), "");
    EXPECT_EQ(PathFileName("/"), "");
    EXPECT_EQ(PathFileName(""), "");
}

TEST(Paths, StripLastExtension)
{
    EXPECT_EQ(PathStripLastExtension("a.b.jpg", false), "a.b");
    EXPECT_EQ(PathStripLastExtension("a..jpg", false), "a");
    EXPECT_EQ(PathStripLastExtension("photo", false), "photo");
    EXPECT_EQ(PathStripLastExtension(".jpg", false), "jpg");
    EXPECT_EQ(PathStripLastExtension("photo.", false), "photo");
    EXPECT_EQ(PathStripLastExtension("/in/anim.gif", true), "anim");
    EXPECT_EQ(PathStripLastExtension("/in.dir/anim", true), "anim");
    EXPECT_EQ(PathStripLastExtension("C:\\in\\x.y.gif", true), "x.y");
}

TEST(Paths, ExtensionAndDirectory)
{
    EXPECT_EQ(PathExtension("photo.jpg"), ".jpg");
    EXPECT_EQ(PathExtension("/a.b/photo"), ".b/photo");
    EXPECT_EQ(PathExtension("photo"), "");
    EXPECT_EQ(PathExtension("photo."), ".");

    EXPECT_EQ(PathDirectory("/home/anna/photo.jpg"), "/home/anna");
    EXPECT_EQ(PathDirectory("C:\\pics\\photo.jpg"), "C:\\pics");
    // "/" is looked for first, wherever a "\" stands.
    EXPECT_EQ(PathDirectory("C:/pics\\sub\\photo.jpg"), "C:");
    EXPECT_EQ(PathDirectory("photo.jpg"), "");
    EXPECT_EQ(PathDirectory("/photo.jpg"), "");
}

TEST(Paths, ForwardSlashes)
{
    EXPECT_EQ(PathToForwardSlashes("C:\\pics\\photo.jpg"), "C:/pics/photo.jpg");
    EXPECT_EQ(PathToForwardSlashes("C://pics///photo.jpg/"), "C:/pics/photo.jpg");
    EXPECT_EQ(PathToForwardSlashes("C:\\pics/\\photo.jpg"), "C:/pics//photo.jpg");
    // The root of an absolute path stays; repeats before it collapse into it.
    EXPECT_EQ(PathToForwardSlashes("/home/anna/x.png"), "/home/anna/x.png");
    EXPECT_EQ(PathToForwardSlashes("//home//anna/x.png"), "/home/anna/x.png");
    EXPECT_EQ(PathToForwardSlashes(""), "");
    // No length limit.
    std::string longPath = "/" + std::string(5000, 'a') + "/b.png";
    EXPECT_EQ(PathToForwardSlashes(longPath), longPath);
}
