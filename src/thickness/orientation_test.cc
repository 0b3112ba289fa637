#include "thickness/orientation.h"

#include <gtest/gtest.h>

#include <vector>

namespace verdask {

namespace {

// A unit square in the plane z = 0 with the cortical normal +z at every node.
TEST(Orientation, TellsInwardOutwardAndUndecidedElementsAndTurnsTheInwardOnes) {
  PointSet mesh;
  ASSERT_TRUE(mesh.resize(6));
  const double xyz[6][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {1, 3, 0}};
  for (int i = 0; i < 6; ++i) {
    for (int k = 0; k < 3; ++k) mesh.points()[i][k] = xyz[i][k];
  }
  std::vector<Coord3> normals(6, {0, 0, 2});
  ShellElements elements;
  elements.addTriangle(1, 2, 3);  // counter-clockwise from +z: outward
  elements.addTriangle(1, 3, 2);  // inward
  elements.addQuad(1, 2, 3, 4);   // outward
  elements.addQuad(1, 4, 3, 2);   // inward
  elements.addTriangle(1, 2, 5);  // no area
  elements.addQuad(1, 3, 5, 6);   // outward, though its first three corners turn clockwise
  Orientation orientation = orientElements(mesh, elements, normals);
  EXPECT_EQ(orientation.inward, (std::vector<char>{0, 1, 0, 1, 0, 0}));
  EXPECT_EQ(orientation.inwardCount, 2);
  EXPECT_EQ(orientation.undecided, std::vector<int>{4});
  ShellElements outward = facingOutwards(elements, orientation);
  EXPECT_EQ(outward.corners, (std::vector<int>{1, 2, 3, 3, 1, 2, 3, 3, 1, 2, 3, 4,
                                               1, 2, 3, 4, 1, 2, 5, 5, 1, 3, 5, 6}));
  // A normal at node 4 alone decides the quads, whose fourth corner it is in one.
  std::vector<Coord3> fourth(6, {0, 0, 0});
  fourth[3] = {0, 0, 1};
  EXPECT_EQ(orientElements(mesh, elements, fourth).undecided, (std::vector<int>{0, 1, 4, 5}));
  // Zero normals leave every element undecided.
  std::vector<Coord3> none(6, {0, 0, 0});
  EXPECT_EQ(orientElements(mesh, elements, none).undecided, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

}  // namespace

}  // namespace verdask
