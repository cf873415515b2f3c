// Fuzz target: the markup reader and the box layout of what it built.
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/markup.h"
#include "ui/sequence_controls.h"
#include "../fake_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FakeHost host;  // outlives the tree
    toolkit::LayoutDocument doc;
    std::string_view markup(reinterpret_cast<const char*>(data), size);
    if (!toolkit::BuildLayout(markup, CreateSkinControl, doc, nullptr)) return 0;
    doc.root->SetHost(&host, nullptr);
    doc.root->Init();
    doc.root->SetPos(toolkit::Rect{0, 0, doc.window.size.cx % 5000, doc.window.size.cy % 5000});
    doc.root->FindAt(10, 10);
    return 0;
}

std::vector<std::string> FuzzSeeds() {
    return {
        R"(<Window size="600,400" caption="0,0,0,35"><Font id="0" name="a" size="14" default="true"/>)"
        R"(<VerticalLayout><HorizontalLayout height="35"><Control/><Button name="b" width="200" pos="0,0,20,30"/></HorizontalLayout>)"
        R"(<TabLayout selectedid="1"><Label text="x" valign="center"/><Progress value="70" foreimage="file='a' dest='0,0,1,1'"/></TabLayout>)"
        R"(<SequenceLabel sequencebkimage="%.3d.png" sequencecount="26"/><CheckBox selected="true"/></VerticalLayout></Window>)",
        R"(<Window size="1,1"><HorizontalLayout childpadding="3" inset="1,1,1,1"><Edit/><Combo items="a|b"/></HorizontalLayout></Window>)",
    };
}
