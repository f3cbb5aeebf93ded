#include "support/MessageBoxes.h"

#include <gtest/gtest.h>

#include <ostream>

bool operator==(const SeenBox& a, const SeenBox& b) {
    return a.caption == b.caption && a.text == b.text && a.buttons == b.buttons &&
           a.icon == b.icon;
}

void PrintTo(const SeenBox& box, std::ostream* out) {
    *out << "{caption " << ::testing::PrintToString(box.caption) << ", text "
         << ::testing::PrintToString(box.text) << ", buttons " << box.buttons
         << (box.icon ? ", icon}" : ", no icon}");
}
