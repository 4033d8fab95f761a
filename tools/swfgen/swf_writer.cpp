#include "swf_writer.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <stdexcept>

#include <zlib.h>

namespace swf {

void BitWriter::UB(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
        acc_ = (acc_ << 1) | ((value >> i) & 1u);
        if (++used_ == 8) {
            out_ += static_cast<char>(acc_);
            acc_ = 0;
            used_ = 0;
        }
    }
}

void BitWriter::Align() {
    if (used_) UB(0, 8 - used_);
}

int SignedBits(int32_t v) {
    uint32_t m = static_cast<uint32_t>(v < 0 ? ~v : v);
    int bits = 1;
    while (m) {
        ++bits;
        m >>= 1;
    }
    return bits;
}

void PutU8(std::string& s, uint8_t v) { s += static_cast<char>(v); }
void PutU16(std::string& s, uint16_t v) {
    PutU8(s, static_cast<uint8_t>(v));
    PutU8(s, static_cast<uint8_t>(v >> 8));
}
void PutU32(std::string& s, uint32_t v) {
    PutU16(s, static_cast<uint16_t>(v));
    PutU16(s, static_cast<uint16_t>(v >> 16));
}
void PutCString(std::string& s, const std::string& text) {
    s += text;
    s += '\0';
}

std::string Rect(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax) {
    int n = 1;
    for (int32_t v : {xmin, xmax, ymin, ymax}) n = std::max(n, SignedBits(v));
    BitWriter w;
    w.UB(static_cast<uint32_t>(n), 5);
    for (int32_t v : {xmin, xmax, ymin, ymax}) w.SB(v, n);
    return w.Bytes();
}

std::string Translate(int32_t x, int32_t y) {
    BitWriter w;
    w.UB(0, 1);  // no scale
    w.UB(0, 1);  // no rotation
    const int n = (x == 0 && y == 0) ? 0 : std::max(SignedBits(x), SignedBits(y));
    w.UB(static_cast<uint32_t>(n), 5);
    if (n) {
        w.SB(x, n);
        w.SB(y, n);
    }
    return w.Bytes();
}

std::string Tag(uint16_t code, const std::string& body) {
    std::string s;
    if (body.size() < 0x3F) {
        PutU16(s, static_cast<uint16_t>(code << 6 | body.size()));
    } else {
        PutU16(s, static_cast<uint16_t>(code << 6 | 0x3F));
        PutU32(s, static_cast<uint32_t>(body.size()));
    }
    return s + body;
}

namespace {
int UnsignedBits(uint32_t v) {
    int bits = 0;
    while (v) {
        ++bits;
        v >>= 1;
    }
    return bits;
}
void PutRgba(std::string& s, Rgba c) {
    PutU8(s, c.r);
    PutU8(s, c.g);
    PutU8(s, c.b);
    PutU8(s, c.a);
}
}  // namespace

std::string ShapeTag(uint16_t id, const std::vector<Polygon>& polygons) {
    int32_t xmin = INT32_MAX, xmax = INT32_MIN, ymin = INT32_MAX, ymax = INT32_MIN;
    int lines = 0;
    for (const Polygon& p : polygons) {
        for (Point pt : p.Points) {
            xmin = std::min(xmin, pt.x - p.Outline);
            xmax = std::max(xmax, pt.x + p.Outline);
            ymin = std::min(ymin, pt.y - p.Outline);
            ymax = std::max(ymax, pt.y + p.Outline);
        }
        if (p.Outline) ++lines;
    }
    if (polygons.empty() || polygons.size() > 254 || lines > 254) throw std::invalid_argument("shape size");
    std::string s;
    PutU16(s, id);
    s += Rect(xmin, xmax, ymin, ymax);
    PutU8(s, static_cast<uint8_t>(polygons.size()));
    for (const Polygon& p : polygons) {
        PutU8(s, 0x00);  // solid fill
        PutRgba(s, p.Fill);
    }
    PutU8(s, static_cast<uint8_t>(lines));
    for (const Polygon& p : polygons)
        if (p.Outline) {
            PutU16(s, static_cast<uint16_t>(p.Outline));
            PutRgba(s, p.OutlineColor);
        }
    const int fillBits = UnsignedBits(static_cast<uint32_t>(polygons.size()));
    const int lineBits = UnsignedBits(static_cast<uint32_t>(lines));
    BitWriter w;
    w.UB(static_cast<uint32_t>(fillBits), 4);
    w.UB(static_cast<uint32_t>(lineBits), 4);
    int fill = 0, line = 0;
    for (const Polygon& p : polygons) {
        ++fill;
        const int lineIndex = p.Outline ? ++line : 0;
        const Point start = p.Points.front();
        // Style change: move to the first point, fill on the left (fill style 0).
        w.UB(0, 1);                 // not an edge
        w.UB(0, 1);                 // no new styles
        w.UB(lineBits ? 1 : 0, 1);  // line style
        w.UB(1, 1);                 // fill style 1
        w.UB(1, 1);                 // fill style 0
        w.UB(1, 1);                 // move to
        const int mb = std::max(SignedBits(start.x), SignedBits(start.y));
        w.UB(static_cast<uint32_t>(mb), 5);
        w.SB(start.x, mb);
        w.SB(start.y, mb);
        w.UB(static_cast<uint32_t>(fill), fillBits);
        w.UB(0, fillBits);
        if (lineBits) w.UB(static_cast<uint32_t>(lineIndex), lineBits);
        Point at = start;
        for (size_t i = 1; i <= p.Points.size(); ++i) {
            const Point to = p.Points[i % p.Points.size()];
            const int32_t dx = to.x - at.x, dy = to.y - at.y;
            if (dx == 0 && dy == 0) continue;
            const int nb = std::max({SignedBits(dx), SignedBits(dy), 2});
            w.UB(1, 1);  // edge
            w.UB(1, 1);  // straight
            w.UB(static_cast<uint32_t>(nb - 2), 4);
            w.UB(1, 1);  // general line: both deltas
            w.SB(dx, nb);
            w.SB(dy, nb);
            at = to;
        }
    }
    w.UB(0, 6);  // end of shape
    s += w.Bytes();
    return Tag(kDefineShape3, s);
}

std::string PlaceTag(uint16_t depth, uint16_t character, int32_t x, int32_t y, const std::string& name) {
    std::string s;
    PutU8(s, static_cast<uint8_t>(0x02 | 0x04 | (name.empty() ? 0 : 0x20)));  // character, matrix, name
    PutU16(s, depth);
    PutU16(s, character);
    s += Translate(x, y);
    if (!name.empty()) PutCString(s, name);
    return Tag(kPlaceObject2, s);
}

std::string CompressedMovie(int widthPx, int heightPx, int frameCount, const std::string& tags) {
    std::string rest = Rect(0, widthPx * 20, 0, heightPx * 20);
    PutU16(rest, 24 << 8);  // 24 frames a second, 8.8 fixed point
    PutU16(rest, static_cast<uint16_t>(frameCount));
    rest += tags;
    uLongf packedSize = compressBound(static_cast<uLong>(rest.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(rest.data()),
                  static_cast<uLong>(rest.size()), Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("zlib compression failed");
    packed.resize(packedSize);
    std::string movie = "CWS";
    PutU8(movie, 8);
    PutU32(movie, static_cast<uint32_t>(8 + rest.size()));
    return movie + packed;
}

// ---------------------------------------------------------------------------------------

Asm& Asm::Op(uint8_t code, const std::string& payload) {
    PutU8(code_, code);
    if (code >= 0x80) {
        PutU16(code_, static_cast<uint16_t>(payload.size()));
        code_ += payload;
    }
    return *this;
}

Asm& Asm::PushString(const std::string& s) {
    std::string p(1, '\0');
    PutCString(p, s);
    return Op(aPush, p);
}

Asm& Asm::PushInt(int32_t v) {
    std::string p(1, '\x07');
    PutU32(p, static_cast<uint32_t>(v));
    return Op(aPush, p);
}

Asm& Asm::PushNull() { return Op(aPush, std::string(1, '\x02')); }

Asm& Asm::PushBool(bool v) { return Op(aPush, std::string{'\x05', static_cast<char>(v ? 1 : 0)}); }

int Asm::NewLabel() {
    labels_.push_back(SIZE_MAX);
    return static_cast<int>(labels_.size() - 1);
}

Asm& Asm::Mark(int label) {
    labels_[static_cast<size_t>(label)] = code_.size();
    return *this;
}

Asm& Asm::Jump(int label) {
    Op(aJump, std::string(2, '\0'));
    fixups_.push_back({code_.size() - 2, label});
    return *this;
}

Asm& Asm::JumpIf(int label) {
    Op(aIf, std::string(2, '\0'));
    fixups_.push_back({code_.size() - 2, label});
    return *this;
}

Asm& Asm::Function(const std::string& name, std::initializer_list<std::string> params, const Asm& body) {
    const std::string code = body.Code();
    std::string p;
    PutCString(p, name);
    PutU16(p, static_cast<uint16_t>(params.size()));
    for (const std::string& param : params) PutCString(p, param);
    PutU16(p, static_cast<uint16_t>(code.size()));
    Op(aDefineFunction, p);
    code_ += code;
    return *this;
}

std::string Asm::Code() const {
    std::string code = code_;
    for (const Fixup& f : fixups_) {
        const size_t target = labels_.at(static_cast<size_t>(f.label));
        if (target == SIZE_MAX) throw std::logic_error("jump to an unmarked label");
        const auto offset = static_cast<int16_t>(static_cast<int64_t>(target) - static_cast<int64_t>(f.at + 2));
        code[f.at] = static_cast<char>(static_cast<uint16_t>(offset) & 0xFF);
        code[f.at + 1] = static_cast<char>(static_cast<uint16_t>(offset) >> 8);
    }
    return code;
}

// ---------------------------------------------------------------------------------------

Expr Str(std::string s) {
    return [s](Asm& a) { a.PushString(s); };
}
Expr Int(int32_t v) {
    return [v](Asm& a) { a.PushInt(v); };
}
Expr Null() {
    return [](Asm& a) { a.PushNull(); };
}
Expr Bool(bool v) {
    return [v](Asm& a) { a.PushBool(v); };
}
Expr Var(std::string name) {
    return [name](Asm& a) { a.PushString(name).Op(aGetVariable); };
}

Expr Member(Expr object, std::string name) {
    return [object, name](Asm& a) {
        object(a);
        a.PushString(name).Op(aGetMember);
    };
}

namespace {
// Arguments go on the stack last first, then their count.
void PushArgs(Asm& a, const std::vector<Expr>& args) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) (*it)(a);
    a.PushInt(static_cast<int32_t>(args.size()));
}
}  // namespace

Expr Call(std::string function, std::vector<Expr> args) {
    return [function, args](Asm& a) {
        PushArgs(a, args);
        a.PushString(function).Op(aCallFunction);
    };
}

Expr Method(Expr object, std::string name, std::vector<Expr> args) {
    return [object, name, args](Asm& a) {
        PushArgs(a, args);
        object(a);
        a.PushString(name).Op(aCallMethod);
    };
}

Expr New(std::string className, std::vector<Expr> args) {
    return [className, args](Asm& a) {
        PushArgs(a, args);
        a.PushString(className).Op(aNewObject);
    };
}

Expr Binary(uint8_t op, Expr x, Expr y) {
    return [op, x, y](Asm& a) {
        x(a);
        y(a);
        a.Op(op);
    };
}

Expr Not(Expr x) {
    return [x](Asm& a) {
        x(a);
        a.Op(aNot);
    };
}

Expr Fn(std::initializer_list<std::string> params, const Asm& body) {
    std::vector<std::string> ps(params);
    return [ps, body](Asm& a) {
        // initializer_list cannot be stored; rebuild the call with the saved names.
        switch (ps.size()) {
            case 0:
                a.Function("", {}, body);
                break;
            case 1:
                a.Function("", {ps[0]}, body);
                break;
            default:
                throw std::invalid_argument("at most one parameter");
        }
    };
}

void SetVar(Asm& a, const std::string& name, const Expr& value) {
    a.PushString(name);
    value(a);
    a.Op(aSetVariable);
}

void SetMember(Asm& a, const Expr& object, const std::string& name, const Expr& value) {
    object(a);
    a.PushString(name);
    value(a);
    a.Op(aSetMember);
}

void Eval(Asm& a, const Expr& e) {
    e(a);
    a.Op(aPop);
}

void If(Asm& a, const Expr& cond, const std::function<void(Asm&)>& then) {
    const int skip = a.NewLabel();
    Not(cond)(a);
    a.JumpIf(skip);
    then(a);
    a.Mark(skip);
}

void DefineFunction(Asm& a, const std::string& name, std::initializer_list<std::string> params,
                    const std::function<void(Asm&)>& body) {
    Asm b;
    body(b);
    a.Function(name, params, b);
}

}  // namespace swf
