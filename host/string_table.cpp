#include "host/string_table.h"

namespace corvalin {

const TableString StringTable[StrID_NUMTYPES] = {
    {StrID_NONE, ""},
    {StrID_Name, "Corvalin"},
    {StrID_Description,
     "Smooths the stair-stepped edges of flat-colour images with graded coverage blends."},
    {StrID_UseColorKey, "Use Color Key"},
    {StrID_AlphaKey, "Alpha Key"},
    {StrID_SmootherRange, "Smoother Range"},
    {StrID_LineWeight, "Line Weight"},
};

}  // namespace corvalin
