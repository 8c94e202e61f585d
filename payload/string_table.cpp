// The program's string table.
#include "platform/resources.h"

namespace win {

namespace {

// Ids 1-10 and 14-16 name the languages of localized texts, in the order the device files
// store them; the element names of those texts are these strings.
constexpr StringResource kEntries[] = {
    {1, "English"},  {2, "Chinese_Simplified"}, {3, "Chinese_Traditional"}, {4, "French"},
    {5, "German"},   {6, "Italian"},            {7, "Japanese"},            {8, "Korean"},
    {9, "Portuguese"}, {10, "Spanish"},         {14, "Russian"},            {15, "Turkish"},
    {16, "Arabic"},
};

}  // namespace

const std::span<const StringResource> kProgramStringTable(kEntries);

}  // namespace win
