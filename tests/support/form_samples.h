// A form in canonical text layout that exercises every value type the text can express,
// shared by the tests of the form formats and of the conversions between them.
#pragma once

#include <string>

#include "text_support.h"

namespace vdtest {

inline const std::string& CanonicalForm() {
    static const std::string text = Crlf(
        "object Form1: TForm1\n"
        "  Left = 192\n"
        "  Top = -5\n"
        "  Big = 100000\n"
        "  Huge = 5000000000\n"
        "  Ratio = 1.5\n"
        "  Tiny = 0.25s\n"
        "  Price = 12.3456c\n"
        "  When = 45000.5d\n"
        "  Caption = 'It''s here'\n"
        "  Accents = 'caf'#233\n"
        "  Cyrillic = #1055#1088#1080'!'\n"
        "  Empty = ''\n"
        "  Color = clBtnFace\n"
        "  Visible = False\n"
        "  Enabled = True\n"
        "  PopupMenu = nil\n"
        "  Nothing = Null\n"
        "  Anchors = [akLeft, akTop]\n"
        "  NoAnchors = []\n"
        "  Font.Name = 'Tahoma'\n"
        "  Lines.Strings = (\n"
        "    'one'\n"
        "    'two')\n"
        "  EmptyList = ()\n"
        "  Data = {\n"
        "    000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F\n"
        "    FF}\n"
        "  Items = <\n"
        "    item\n"
        "      Width = 10\n"
        "    end\n"
        "    item [3]\n"
        "      Caption = 'x'\n"
        "    end>\n"
        "  NoItems = <>\n"
        "  OnClick = Form1Click\n"
        "  object Panel1: TPanel\n"
        "    object Button1: TButton\n"
        "      Tag = 7\n"
        "    end\n"
        "  end\n"
        "  inherited Label1: TLabel [2]\n"
        "  end\n"
        "end\n");
    return text;
}

}  // namespace vdtest
