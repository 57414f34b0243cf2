#include "PicturePath.h"

#include "core/ShiftJis.h"

namespace question {

std::string picturePath(const std::string& questionFile, const std::string& pictureNumber)
{
    return sjis::folderPart(questionFile) + "256bitmap\\" + pictureNumber + ".bmp";
}

} // namespace question
