// Fuzz target: the image-string parser.
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/image_string.h"
#include "utils/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text = Utils::Utf8ToWide(std::string(reinterpret_cast<const char*>(data), size));
    toolkit::ImageSpec desc;
    toolkit::ParseImageString(text, desc);
    if (desc.fade < 0 || desc.fade > 255) __builtin_trap();
    return 0;
}

std::vector<std::string> FuzzSeeds() {
    return {"res\\mainWnd\\bg1.png",
            "file='a.png' dest='0,7,16,23' source='1,2,3,4' corner='4,0,4,0' hole='true' xtiled='true' mask='#FF00FF' fade='140'",
            "file='x' scale9='1,1,1,1' res='r' restype='PNG'"};
}
