// A small OpenFX host for the tests: it loads a bundle by its layout with
// dlopen (a plain LoadLibraryW on Windows), as hosts do, and implements the suites the plug-in fetches
// (properties, image effect, parameters, messages, interacts) over plain
// containers. Parameters keep a value and keys (doubles interpolate linearly,
// the rest hold the earlier key); clips hand out images the test describes
// (depth, bounds, row padding or reversed rows, premultiplication, pixel
// aspect). Properties are typed: a get of another type than was set fails, so
// a plug-in that mixes them up shows.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "apps/ofx/ofx_api.h"

namespace ofxtest {

// ---------------------------------------------------------------------------
// Properties
// ---------------------------------------------------------------------------

struct Property {
    char type = 0;  // 's', 'd', 'i', 'p'
    std::vector<std::string> s;
    std::vector<double> d;
    std::vector<int> i;
    std::vector<void*> p;
    int size() const
    {
        return static_cast<int>(type == 's' ? s.size() : type == 'd' ? d.size() : type == 'i' ? i.size() : p.size());
    }
};

struct PropertySet {
    std::map<std::string, Property> props;

    OfxPropertySetHandle handle() { return reinterpret_cast<OfxPropertySetHandle>(this); }
    static PropertySet* of(OfxPropertySetHandle h) { return reinterpret_cast<PropertySet*>(h); }

    Property* slot(const char* name, char type)
    {
        Property& p = props[name];
        if (p.type == 0) p.type = type;
        return p.type == type ? &p : nullptr;
    }
    const Property* find(const std::string& name, char type) const
    {
        const auto it = props.find(name);
        return it != props.end() && it->second.type == type ? &it->second : nullptr;
    }
    void set_string(const std::string& name, const std::string& v, int index = 0)
    {
        Property* p = slot(name.c_str(), 's');
        if (p->s.size() <= std::size_t(index)) p->s.resize(std::size_t(index) + 1);
        p->s[std::size_t(index)] = v;
    }
    void set_double(const std::string& name, double v, int index = 0)
    {
        Property* p = slot(name.c_str(), 'd');
        if (p->d.size() <= std::size_t(index)) p->d.resize(std::size_t(index) + 1);
        p->d[std::size_t(index)] = v;
    }
    void set_int(const std::string& name, int v, int index = 0)
    {
        Property* p = slot(name.c_str(), 'i');
        if (p->i.size() <= std::size_t(index)) p->i.resize(std::size_t(index) + 1);
        p->i[std::size_t(index)] = v;
    }
    void set_pointer(const std::string& name, void* v)
    {
        Property* p = slot(name.c_str(), 'p');
        p->p.assign(1, v);
    }
    std::string string(const std::string& name, int index = 0) const
    {
        const Property* p = find(name, 's');
        return p != nullptr && std::size_t(index) < p->s.size() ? p->s[std::size_t(index)] : std::string();
    }
    std::vector<std::string> strings(const std::string& name) const
    {
        const Property* p = find(name, 's');
        return p != nullptr ? p->s : std::vector<std::string>{};
    }
    std::vector<double> doubles(const std::string& name) const
    {
        const Property* p = find(name, 'd');
        return p != nullptr ? p->d : std::vector<double>{};
    }
    std::vector<int> ints(const std::string& name) const
    {
        const Property* p = find(name, 'i');
        return p != nullptr ? p->i : std::vector<int>{};
    }
    void* pointer(const std::string& name) const
    {
        const Property* p = find(name, 'p');
        return p != nullptr && !p->p.empty() ? p->p[0] : nullptr;
    }
};

// ---------------------------------------------------------------------------
// Parameters, clips, images, effects
// ---------------------------------------------------------------------------

struct Param {
    std::string type;
    std::string name;
    PropertySet props;
    std::vector<double> value;
    std::map<double, std::vector<double>> keys;

    int dimension() const
    {
        if (type == kOfxParamTypeRGBA) return 4;
        if (type == kOfxParamTypeDouble2D) return 2;
        return 1;
    }
    bool is_double() const
    {
        return type == kOfxParamTypeDouble || type == kOfxParamTypeDouble2D || type == kOfxParamTypeRGBA;
    }
    std::vector<double> at(double time) const
    {
        if (keys.empty()) return value;
        auto after = keys.lower_bound(time);
        if (after == keys.end()) return std::prev(after)->second;
        if (after->first == time || after == keys.begin()) return after->second;
        const auto before = std::prev(after);
        if (!is_double()) return before->second;
        const double u = (time - before->first) / (after->first - before->first);
        std::vector<double> v(before->second.size());
        for (std::size_t k = 0; k < v.size(); ++k)
            v[k] = before->second[k] + u * (after->second[k] - before->second[k]);
        return v;
    }
};

struct ParamSet {
    PropertySet props;
    std::vector<std::unique_ptr<Param>> params;
    // Edits the plug-in grouped: their names, and how many values each set.
    std::vector<std::pair<std::string, int>> edits;
    bool editing = false;
    int sets_outside_edits = 0;

    Param* find(const std::string& name) const
    {
        for (const auto& p : params)
            if (p->name == name) return p.get();
        return nullptr;
    }
};

// What a clip's images look like. Rows are `row_padding` bytes longer than
// their pixels; with `reversed` the rows are stored top first (negative row
// bytes), so data points at the last row in memory.
struct ImageLayout {
    std::string depth = kOfxBitDepthShort;
    OfxRectI bounds{0, 0, 0, 0};
    int row_padding = 0;
    bool reversed = false;
    std::string premultiplication = kOfxImageUnPreMultiplied;
    double pixel_aspect = 1.0;

    int bytes_per_sample() const { return depth == kOfxBitDepthByte ? 1 : depth == kOfxBitDepthShort ? 2 : 4; }
    int width() const { return bounds.x2 - bounds.x1; }
    int height() const { return bounds.y2 - bounds.y1; }
    long long row_bytes() const
    {
        const long long r = static_cast<long long>(width()) * 4 * bytes_per_sample() + row_padding;
        return reversed ? -r : r;
    }
};

struct Image {
    PropertySet props;
    std::vector<unsigned char> storage;
    ImageLayout layout;
    double filled_at = -1e300;  // the time its samples were made for

    // The first byte of pixel (x, y), in the image's coordinates.
    unsigned char* pixel(int x, int y)
    {
        auto* data = static_cast<unsigned char*>(props.pointer(kOfxImagePropData));
        return data + (static_cast<long long>(y) - layout.bounds.y1) * layout.row_bytes() +
               static_cast<long long>(x - layout.bounds.x1) * 4 * layout.bytes_per_sample();
    }
};

struct Clip {
    PropertySet props;
    ImageLayout layout;
    // Fills a new image's samples (source clips); output images start zeroed.
    std::function<void(Image&, double time)> fill;
    // The last image handed out, kept for the test to read after a render.
    std::shared_ptr<Image> last;
    // As a host's cache does: an image used again at the time it was made
    // for keeps its samples (not zeroed, not filled again).
    bool cached = false;
};

struct Effect {
    PropertySet props;
    ParamSet params;
    std::map<std::string, std::unique_ptr<Clip>> clips;
    std::atomic<bool> abort{false};
    std::atomic<int> abort_polls{0};

    OfxImageEffectHandle handle() { return reinterpret_cast<OfxImageEffectHandle>(this); }
    static Effect* of(OfxImageEffectHandle h) { return reinterpret_cast<Effect*>(h); }
};

struct Interact {
    PropertySet props;
    int redraws = 0;
};

// ---------------------------------------------------------------------------
// The suites
// ---------------------------------------------------------------------------

struct HostState {
    PropertySet host_props;
    std::mutex mutex;
    std::vector<std::string> messages;
    std::vector<std::shared_ptr<Image>> live_images;
};

inline HostState& state()
{
    static HostState s;
    return s;
}

namespace suites {

template <char T, class V>
OfxStatus set_one(OfxPropertySetHandle h, const char* name, int index, V value)
{
    if (h == nullptr || name == nullptr || index < 0) return kOfxStatErrBadHandle;
    Property* p = PropertySet::of(h)->slot(name, T);
    if (p == nullptr) return kOfxStatErrValue;
    if constexpr (T == 's') {
        if (p->s.size() <= std::size_t(index)) p->s.resize(std::size_t(index) + 1);
        p->s[std::size_t(index)] = value != nullptr ? value : "";
    } else if constexpr (T == 'd') {
        if (p->d.size() <= std::size_t(index)) p->d.resize(std::size_t(index) + 1);
        p->d[std::size_t(index)] = value;
    } else if constexpr (T == 'i') {
        if (p->i.size() <= std::size_t(index)) p->i.resize(std::size_t(index) + 1);
        p->i[std::size_t(index)] = value;
    } else {
        if (p->p.size() <= std::size_t(index)) p->p.resize(std::size_t(index) + 1);
        p->p[std::size_t(index)] = value;
    }
    return kOfxStatOK;
}

template <char T, class V>
OfxStatus get_one(OfxPropertySetHandle h, const char* name, int index, V* value)
{
    if (h == nullptr || name == nullptr || value == nullptr) return kOfxStatErrBadHandle;
    const Property* p = PropertySet::of(h)->find(name, T);
    if (p == nullptr) return kOfxStatErrUnknown;
    if (index < 0 || index >= p->size()) return kOfxStatErrBadIndex;
    if constexpr (T == 's')
        *value = const_cast<char*>(p->s[std::size_t(index)].c_str());
    else if constexpr (T == 'd')
        *value = p->d[std::size_t(index)];
    else if constexpr (T == 'i')
        *value = p->i[std::size_t(index)];
    else
        *value = p->p[std::size_t(index)];
    return kOfxStatOK;
}

inline OfxStatus setPointer(OfxPropertySetHandle h, const char* n, int i, void* v)
{
    return set_one<'p'>(h, n, i, v);
}
inline OfxStatus setString(OfxPropertySetHandle h, const char* n, int i, const char* v)
{
    return set_one<'s'>(h, n, i, v);
}
inline OfxStatus setDouble(OfxPropertySetHandle h, const char* n, int i, double v)
{
    return set_one<'d'>(h, n, i, v);
}
inline OfxStatus setInt(OfxPropertySetHandle h, const char* n, int i, int v)
{
    return set_one<'i'>(h, n, i, v);
}
inline OfxStatus setPointerN(OfxPropertySetHandle h, const char* n, int count, void* const* v)
{
    for (int i = 0; i < count; ++i)
        if (OfxStatus s = setPointer(h, n, i, v[i]); s != kOfxStatOK) return s;
    return kOfxStatOK;
}
inline OfxStatus setStringN(OfxPropertySetHandle h, const char* n, int count, const char* const* v)
{
    for (int i = 0; i < count; ++i)
        if (OfxStatus s = setString(h, n, i, v[i]); s != kOfxStatOK) return s;
    return kOfxStatOK;
}
inline OfxStatus setDoubleN(OfxPropertySetHandle h, const char* n, int count, const double* v)
{
    for (int i = 0; i < count; ++i)
        if (OfxStatus s = setDouble(h, n, i, v[i]); s != kOfxStatOK) return s;
    return kOfxStatOK;
}
inline OfxStatus setIntN(OfxPropertySetHandle h, const char* n, int count, const int* v)
{
    for (int i = 0; i < count; ++i)
        if (OfxStatus s = setInt(h, n, i, v[i]); s != kOfxStatOK) return s;
    return kOfxStatOK;
}
inline OfxStatus getPointer(OfxPropertySetHandle h, const char* n, int i, void** v)
{
    return get_one<'p'>(h, n, i, v);
}
inline OfxStatus getString(OfxPropertySetHandle h, const char* n, int i, char** v)
{
    return get_one<'s'>(h, n, i, v);
}
inline OfxStatus getDouble(OfxPropertySetHandle h, const char* n, int i, double* v)
{
    return get_one<'d'>(h, n, i, v);
}
inline OfxStatus getInt(OfxPropertySetHandle h, const char* n, int i, int* v)
{
    return get_one<'i'>(h, n, i, v);
}
inline OfxStatus getPointerN(OfxPropertySetHandle h, const char* n, int count, void** v)
{
    for (int i = 0; i < count; ++i)
        if (OfxStatus s = getPointer(h, n, i, &v[i]); s != kOfxStatOK) return s;
    return kOfxStatOK;
}
inline OfxStatus getStringN(OfxPropertySetHandle h, const char* n, int count, char** v)
{
    for (int i = 0; i < count; ++i)
        if (OfxStatus s = getString(h, n, i, &v[i]); s != kOfxStatOK) return s;
    return kOfxStatOK;
}
inline OfxStatus getDoubleN(OfxPropertySetHandle h, const char* n, int count, double* v)
{
    for (int i = 0; i < count; ++i)
        if (OfxStatus s = getDouble(h, n, i, &v[i]); s != kOfxStatOK) return s;
    return kOfxStatOK;
}
inline OfxStatus getIntN(OfxPropertySetHandle h, const char* n, int count, int* v)
{
    for (int i = 0; i < count; ++i)
        if (OfxStatus s = getInt(h, n, i, &v[i]); s != kOfxStatOK) return s;
    return kOfxStatOK;
}
inline OfxStatus reset(OfxPropertySetHandle, const char*)
{
    return kOfxStatOK;
}
inline OfxStatus getDimension(OfxPropertySetHandle h, const char* n, int* count)
{
    if (h == nullptr || count == nullptr) return kOfxStatErrBadHandle;
    const auto it = PropertySet::of(h)->props.find(n);
    if (it == PropertySet::of(h)->props.end()) return kOfxStatErrUnknown;
    *count = it->second.size();
    return kOfxStatOK;
}

inline const OfxPropertySuiteV1 property_suite = {
    setPointer, setString, setDouble, setInt,      setPointerN, setStringN, setDoubleN, setIntN, getPointer,
    getString,  getDouble, getInt,    getPointerN, getStringN,  getDoubleN, getIntN,    reset,   getDimension};

// Image effect suite.
inline OfxStatus getPropertySet(OfxImageEffectHandle e, OfxPropertySetHandle* p)
{
    if (e == nullptr || p == nullptr) return kOfxStatErrBadHandle;
    *p = Effect::of(e)->props.handle();
    return kOfxStatOK;
}
inline OfxStatus getParamSet(OfxImageEffectHandle e, OfxParamSetHandle* p)
{
    if (e == nullptr || p == nullptr) return kOfxStatErrBadHandle;
    *p = reinterpret_cast<OfxParamSetHandle>(&Effect::of(e)->params);
    return kOfxStatOK;
}
inline OfxStatus clipDefine(OfxImageEffectHandle e, const char* name, OfxPropertySetHandle* p)
{
    auto& clip = Effect::of(e)->clips[name];
    if (!clip) clip = std::make_unique<Clip>();
    clip->props.set_string(kOfxPropName, name);
    if (p != nullptr) *p = clip->props.handle();
    return kOfxStatOK;
}
inline OfxStatus clipGetHandle(OfxImageEffectHandle e, const char* name, OfxImageClipHandle* c, OfxPropertySetHandle* p)
{
    const auto it = Effect::of(e)->clips.find(name);
    if (it == Effect::of(e)->clips.end()) return kOfxStatErrUnknown;
    if (c != nullptr) *c = reinterpret_cast<OfxImageClipHandle>(it->second.get());
    if (p != nullptr) *p = it->second->props.handle();
    return kOfxStatOK;
}
inline OfxStatus clipGetPropertySet(OfxImageClipHandle c, OfxPropertySetHandle* p)
{
    if (c == nullptr || p == nullptr) return kOfxStatErrBadHandle;
    *p = reinterpret_cast<Clip*>(c)->props.handle();
    return kOfxStatOK;
}
inline OfxStatus clipGetImage(OfxImageClipHandle c, OfxTime time, const OfxRectD*, OfxPropertySetHandle* out)
{
    auto* clip = reinterpret_cast<Clip*>(c);
    const ImageLayout& l = clip->layout;
    const long long row = l.row_bytes() < 0 ? -l.row_bytes() : l.row_bytes();
    const std::size_t bytes = static_cast<std::size_t>(row * l.height());
    // The clip's last image is used again once nothing holds it (as hosts
    // keep their buffers): same layout, its padding still marked.
    std::shared_ptr<Image> image;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        const std::shared_ptr<Image>& last = clip->last;
        if (last && last.use_count() == 1 && last->storage.size() == bytes && last->layout.depth == l.depth &&
            last->layout.row_bytes() == l.row_bytes() && last->layout.reversed == l.reversed &&
            std::memcmp(&last->layout.bounds, &l.bounds, sizeof(l.bounds)) == 0)
            image = last;
    }
    if (!image) {
        image = std::make_shared<Image>();
        image->storage.assign(bytes, 0xCD);  // padding the plug-in must not need
    }
    const bool kept = clip->cached && image->filled_at == time;
    image->layout = l;
    unsigned char* bottom = image->storage.data() + (l.reversed ? row * (l.height() - 1) : 0);
    PropertySet& p = image->props;
    p.set_pointer(kOfxImagePropData, bottom);
    for (int k = 0; k < 4; ++k) p.set_int(kOfxImagePropBounds, (&l.bounds.x1)[k], k);
    p.set_int(kOfxImagePropRowBytes, static_cast<int>(l.row_bytes()));
    p.set_string(kOfxImageEffectPropPixelDepth, l.depth);
    p.set_string(kOfxImageEffectPropComponents, kOfxImageComponentRGBA);
    p.set_string(kOfxImageEffectPropPreMultiplication, l.premultiplication);
    p.set_double(kOfxImagePropPixelAspectRatio, l.pixel_aspect);
    // Outputs start with zeroed pixels (the padding keeps its marks).
    if (!kept) {
        for (int y = l.bounds.y1; y < l.bounds.y2; ++y)
            std::memset(image->pixel(l.bounds.x1, y), 0,
                        std::size_t(l.width()) * 4 * std::size_t(l.bytes_per_sample()));
        if (clip->fill) clip->fill(*image, time);
        image->filled_at = time;
    }
    std::lock_guard<std::mutex> lock(state().mutex);
    state().live_images.push_back(image);
    clip->last = image;
    *out = image->props.handle();
    return kOfxStatOK;
}
inline OfxStatus clipReleaseImage(OfxPropertySetHandle h)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    auto& live = state().live_images;
    for (auto it = live.begin(); it != live.end(); ++it)
        if ((*it)->props.handle() == h) {
            live.erase(it);
            return kOfxStatOK;
        }
    return kOfxStatErrBadHandle;
}
inline OfxStatus clipGetRegionOfDefinition(OfxImageClipHandle c, OfxTime, OfxRectD* r)
{
    const ImageLayout& l = reinterpret_cast<Clip*>(c)->layout;
    // Canonical coordinates: x in pixels times the pixel aspect.
    *r = {l.bounds.x1 * l.pixel_aspect, double(l.bounds.y1), l.bounds.x2 * l.pixel_aspect, double(l.bounds.y2)};
    return kOfxStatOK;
}
inline int abort(OfxImageEffectHandle e)
{
    Effect::of(e)->abort_polls++;
    return Effect::of(e)->abort.load() ? 1 : 0;
}

inline const OfxImageEffectSuiteV1 effect_suite = {getPropertySet,
                                                   getParamSet,
                                                   clipDefine,
                                                   clipGetHandle,
                                                   clipGetPropertySet,
                                                   clipGetImage,
                                                   clipReleaseImage,
                                                   clipGetRegionOfDefinition,
                                                   abort};

// Parameter suite.
inline ParamSet* set_of(OfxParamSetHandle h)
{
    return reinterpret_cast<ParamSet*>(h);
}
inline Param* param_of(OfxParamHandle h)
{
    return reinterpret_cast<Param*>(h);
}
inline OfxStatus paramDefine(OfxParamSetHandle s, const char* type, const char* name, OfxPropertySetHandle* p)
{
    ParamSet* set = set_of(s);
    if (set->find(name) != nullptr) return kOfxStatErrExists;
    auto param = std::make_unique<Param>();
    param->type = type;
    param->name = name;
    param->props.set_string(kOfxParamPropType, type);
    param->props.set_string(kOfxPropName, name);
    if (p != nullptr) *p = param->props.handle();
    set->params.push_back(std::move(param));
    return kOfxStatOK;
}
inline OfxStatus paramGetHandle(OfxParamSetHandle s, const char* name, OfxParamHandle* h, OfxPropertySetHandle* p)
{
    Param* param = set_of(s)->find(name);
    if (param == nullptr) return kOfxStatErrUnknown;
    if (h != nullptr) *h = reinterpret_cast<OfxParamHandle>(param);
    if (p != nullptr) *p = param->props.handle();
    return kOfxStatOK;
}
inline OfxStatus paramSetGetPropertySet(OfxParamSetHandle s, OfxPropertySetHandle* p)
{
    *p = set_of(s)->props.handle();
    return kOfxStatOK;
}
inline OfxStatus paramGetPropertySet(OfxParamHandle h, OfxPropertySetHandle* p)
{
    *p = param_of(h)->props.handle();
    return kOfxStatOK;
}
inline void write_out(const Param& p, const std::vector<double>& v, va_list args)
{
    for (int k = 0; k < p.dimension(); ++k) {
        if (p.is_double())
            *va_arg(args, double*) = v[std::size_t(k)];
        else
            *va_arg(args, int*) = static_cast<int>(v[std::size_t(k)]);
    }
}
inline std::vector<double> read_in(const Param& p, va_list args)
{
    std::vector<double> v(std::size_t(p.dimension()));
    for (auto& x : v) x = p.is_double() ? va_arg(args, double) : va_arg(args, int);
    return v;
}
inline OfxStatus paramGetValue(OfxParamHandle h, ...)
{
    va_list args;
    va_start(args, h);
    write_out(*param_of(h), param_of(h)->at(0.0), args);
    va_end(args);
    return kOfxStatOK;
}
inline OfxStatus paramGetValueAtTime(OfxParamHandle h, OfxTime time, ...)
{
    va_list args;
    va_start(args, time);
    write_out(*param_of(h), param_of(h)->at(time), args);
    va_end(args);
    return kOfxStatOK;
}
inline OfxStatus unsupported_time(OfxParamHandle, OfxTime, ...)
{
    return kOfxStatErrUnsupported;
}
inline OfxStatus unsupported_integral(OfxParamHandle, OfxTime, OfxTime, ...)
{
    return kOfxStatErrUnsupported;
}
// Which parameter set a parameter belongs to is found by search: the
// test's effects are few.
inline std::vector<ParamSet*>& known_sets()
{
    static std::vector<ParamSet*> sets;
    return sets;
}
inline void count_set(Param* p)
{
    for (ParamSet* s : known_sets())
        for (const auto& q : s->params)
            if (q.get() == p) {
                if (s->editing)
                    s->edits.back().second++;
                else
                    s->sets_outside_edits++;
            }
}
inline OfxStatus paramSetValue(OfxParamHandle h, ...)
{
    va_list args;
    va_start(args, h);
    param_of(h)->value = read_in(*param_of(h), args);
    va_end(args);
    count_set(param_of(h));
    return kOfxStatOK;
}
inline OfxStatus paramSetValueAtTime(OfxParamHandle h, OfxTime time, ...)
{
    va_list args;
    va_start(args, time);
    param_of(h)->keys[time] = read_in(*param_of(h), args);
    va_end(args);
    count_set(param_of(h));
    return kOfxStatOK;
}
inline OfxStatus paramGetNumKeys(OfxParamHandle h, unsigned int* n)
{
    *n = static_cast<unsigned int>(param_of(h)->keys.size());
    return kOfxStatOK;
}
inline OfxStatus paramGetKeyTime(OfxParamHandle h, unsigned int nth, OfxTime* t)
{
    if (nth >= param_of(h)->keys.size()) return kOfxStatErrBadIndex;
    *t = std::next(param_of(h)->keys.begin(), nth)->first;
    return kOfxStatOK;
}
inline OfxStatus paramGetKeyIndex(OfxParamHandle, OfxTime, int, int*)
{
    return kOfxStatErrUnsupported;
}
inline OfxStatus paramDeleteKey(OfxParamHandle h, OfxTime t)
{
    return param_of(h)->keys.erase(t) != 0 ? kOfxStatOK : kOfxStatErrBadIndex;
}
inline OfxStatus paramDeleteAllKeys(OfxParamHandle h)
{
    param_of(h)->keys.clear();
    return kOfxStatOK;
}
inline OfxStatus paramCopy(OfxParamHandle, OfxParamHandle, OfxTime, OfxRangeD*)
{
    return kOfxStatErrUnsupported;
}
inline OfxStatus paramEditBegin(OfxParamSetHandle s, const char* name)
{
    set_of(s)->editing = true;
    set_of(s)->edits.push_back({name != nullptr ? name : "", 0});
    return kOfxStatOK;
}
inline OfxStatus paramEditEnd(OfxParamSetHandle s)
{
    set_of(s)->editing = false;
    return kOfxStatOK;
}

inline const OfxParameterSuiteV1 parameter_suite = {paramDefine,         paramGetHandle,       paramSetGetPropertySet,
                                                    paramGetPropertySet, paramGetValue,        paramGetValueAtTime,
                                                    unsupported_time,    unsupported_integral, paramSetValue,
                                                    paramSetValueAtTime, paramGetNumKeys,      paramGetKeyTime,
                                                    paramGetKeyIndex,    paramDeleteKey,       paramDeleteAllKeys,
                                                    paramCopy,           paramEditBegin,       paramEditEnd};

inline OfxStatus message(void*, const char* type, const char*, const char* format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(state().mutex);
    state().messages.push_back(std::string(type) + ": " + text);
    return kOfxStatOK;
}
inline const OfxMessageSuiteV1 message_suite = {message};

inline OfxStatus interactSwapBuffers(OfxInteractHandle)
{
    return kOfxStatOK;
}
inline OfxStatus interactRedraw(OfxInteractHandle h)
{
    reinterpret_cast<Interact*>(h)->redraws++;
    return kOfxStatOK;
}
inline OfxStatus interactGetPropertySet(OfxInteractHandle h, OfxPropertySetHandle* p)
{
    *p = reinterpret_cast<Interact*>(h)->props.handle();
    return kOfxStatOK;
}
inline const OfxInteractSuiteV1 interact_suite = {interactSwapBuffers, interactRedraw, interactGetPropertySet};

inline const void* fetchSuite(OfxPropertySetHandle, const char* name, int version)
{
    if (version != 1) return nullptr;
    if (std::strcmp(name, kOfxPropertySuite) == 0) return &property_suite;
    if (std::strcmp(name, kOfxImageEffectSuite) == 0) return &effect_suite;
    if (std::strcmp(name, kOfxParameterSuite) == 0) return &parameter_suite;
    if (std::strcmp(name, kOfxMessageSuite) == 0) return &message_suite;
    if (std::strcmp(name, kOfxInteractSuite) == 0) return &interact_suite;
    return nullptr;
}

}  // namespace suites

// ---------------------------------------------------------------------------
// The host
// ---------------------------------------------------------------------------

class TestHost {
public:
    // Loads the bundle's binary (dlopen, as hosts do; on Windows a plain
    // LoadLibraryW, which looks for the DLLs it imports beside the program
    // and not beside the plug-in) and runs load, describe and
    // describe-in-context (filter). `bundle` is UTF-8. `error` says what
    // failed.
    bool load(const std::string& bundle, std::string& error)
    {
        using Count = int (*)();
        using Get = OfxPlugin* (*)(int);
#ifdef _WIN32
        const std::string binary = bundle + "/Contents/Win64/Trellin.ofx";
        std::wstring wide(std::size_t(::MultiByteToWideChar(CP_UTF8, 0, binary.c_str(), -1, nullptr, 0)), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, binary.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
        HMODULE library = ::LoadLibraryW(wide.c_str());
        if (library == nullptr) {
            error = binary + ": cannot load (error " + std::to_string(::GetLastError()) + ")";
            return false;
        }
        library_ = reinterpret_cast<void*>(library);
        auto count =
            reinterpret_cast<Count>(reinterpret_cast<void*>(::GetProcAddress(library, "OfxGetNumberOfPlugins")));
        auto get = reinterpret_cast<Get>(reinterpret_cast<void*>(::GetProcAddress(library, "OfxGetPlugin")));
#else
        const std::string binary = bundle + "/Contents/Linux-x86-64/Trellin.ofx";
        library_ = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library_ == nullptr) {
            error = dlerror();
            return false;
        }
        auto count = reinterpret_cast<Count>(dlsym(library_, "OfxGetNumberOfPlugins"));
        auto get = reinterpret_cast<Get>(dlsym(library_, "OfxGetPlugin"));
#endif
        if (count == nullptr || get == nullptr || count() != 1 || (plugin = get(0)) == nullptr) {
            error = "no plug-in in " + binary;
            return false;
        }
        host_.host = state().host_props.handle();
        host_.fetchSuite = &suites::fetchSuite;
        plugin->setHost(&host_);
        OfxStatus s = plugin->mainEntry(kOfxActionLoad, nullptr, nullptr, nullptr);
        if (s != kOfxStatOK && s != kOfxStatReplyDefault) return fail("load", s, error);
        s = plugin->mainEntry(kOfxActionDescribe, descriptor.handle(), nullptr, nullptr);
        if (s != kOfxStatOK) return fail("describe", s, error);
        PropertySet in;
        in.set_string(kOfxImageEffectPropContext, kOfxImageEffectContextFilter);
        s = plugin->mainEntry(kOfxImageEffectActionDescribeInContext, descriptor.handle(), in.handle(), nullptr);
        if (s != kOfxStatOK) return fail("describe in context", s, error);
        return true;
    }

    // A new instance with the descriptor's clips and parameters at their
    // defaults, source and output laid out as `layout`.
    std::unique_ptr<Effect> create(const ImageLayout& layout)
    {
        auto e = std::make_unique<Effect>();
        e->props.set_string(kOfxImageEffectPropContext, kOfxImageEffectContextFilter);
        for (const auto& [name, clip] : descriptor.clips) {
            auto c = std::make_unique<Clip>();
            c->props = clip->props;
            c->layout = layout;
            c->props.set_string(kOfxImageEffectPropPreMultiplication, layout.premultiplication);
            c->props.set_double(kOfxImagePropPixelAspectRatio, layout.pixel_aspect);
            e->clips[name] = std::move(c);
        }
        for (const auto& p : descriptor.params.params) {
            auto q = std::make_unique<Param>(*p);
            const int n = q->dimension();
            q->value.assign(std::size_t(n), 0.0);
            const std::vector<double> d = q->props.doubles(kOfxParamPropDefault);
            const std::vector<int> i = q->props.ints(kOfxParamPropDefault);
            for (int k = 0; k < n; ++k)
                q->value[std::size_t(k)] = q->is_double() ? (std::size_t(k) < d.size() ? d[std::size_t(k)] : 0.0)
                                                          : (std::size_t(k) < i.size() ? i[std::size_t(k)] : 0);
            // A default in normalised coordinates is placed on the source's
            // region of definition, in canonical coordinates (y up).
            if (q->type == kOfxParamTypeDouble2D &&
                q->props.string(kOfxParamPropDefaultCoordinateSystem) == kOfxParamCoordinatesNormalised) {
                const double x1 = layout.bounds.x1 * layout.pixel_aspect, x2 = layout.bounds.x2 * layout.pixel_aspect;
                q->value[0] = x1 + q->value[0] * (x2 - x1);
                q->value[1] = layout.bounds.y1 + q->value[1] * (layout.bounds.y2 - layout.bounds.y1);
            }
            e->params.params.push_back(std::move(q));
        }
        suites::known_sets().push_back(&e->params);
        if (plugin->mainEntry(kOfxActionCreateInstance, e->handle(), nullptr, nullptr) != kOfxStatOK) return nullptr;
        return e;
    }

    void destroy(std::unique_ptr<Effect>& e)
    {
        if (!e) return;
        plugin->mainEntry(kOfxActionDestroyInstance, e->handle(), nullptr, nullptr);
        auto& sets = suites::known_sets();
        sets.erase(std::remove(sets.begin(), sets.end(), &e->params), sets.end());
        e.reset();
    }

    // The render action over the whole output at `time`.
    OfxStatus render(Effect& e, double time)
    {
        const OfxRectI b = e.clips[kOfxImageEffectOutputClipName]->layout.bounds;
        PropertySet in;
        in.set_double(kOfxPropTime, time);
        for (int k = 0; k < 4; ++k) in.set_int(kOfxImageEffectPropRenderWindow, (&b.x1)[k], k);
        in.set_double(kOfxImageEffectPropRenderScale, 1.0, 0);
        in.set_double(kOfxImageEffectPropRenderScale, 1.0, 1);
        return plugin->mainEntry(kOfxImageEffectActionRender, e.handle(), in.handle(), nullptr);
    }

    // Any action on an instance with the given arguments.
    OfxStatus act(Effect& e, const char* action, PropertySet* in = nullptr, PropertySet* out = nullptr)
    {
        return plugin->mainEntry(action, e.handle(), in != nullptr ? in->handle() : nullptr,
                                 out != nullptr ? out->handle() : nullptr);
    }

    // The user choosing `item` of a choice parameter (or any value).
    OfxStatus user_sets(Effect& e, const std::string& name, const std::vector<double>& value)
    {
        Param* p = e.params.find(name);
        if (p == nullptr) return kOfxStatErrUnknown;
        p->value = value;
        PropertySet in;
        in.set_string(kOfxPropType, kOfxTypeParameter);
        in.set_string(kOfxPropName, name);
        in.set_string(kOfxPropChangeReason, kOfxChangeUserEdited);
        in.set_double(kOfxPropTime, 0.0);
        in.set_double(kOfxImageEffectPropRenderScale, 1.0, 0);
        in.set_double(kOfxImageEffectPropRenderScale, 1.0, 1);
        return act(e, kOfxActionInstanceChanged, &in);
    }

    std::vector<std::string> messages()
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        return state().messages;
    }

    OfxPlugin* plugin = nullptr;
    Effect descriptor;

private:
    bool fail(const char* what, OfxStatus s, std::string& error)
    {
        error = std::string(what) + " returned " + std::to_string(s);
        for (const std::string& m : messages()) error += "; " + m;
        return false;
    }

    void* library_ = nullptr;
    OfxHost host_{};
};

}  // namespace ofxtest
