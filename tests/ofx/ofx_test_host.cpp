#include "tests/ofx/ofx_test_host.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <type_traits>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace corvalin::ofxtest {

// ---- Host objects behind the handles ---------------------------------------

// Every object a handle points at starts with its kind's tag, so a handle of
// the wrong kind is refused instead of misread.
struct Param {
  static constexpr uint32_t kMagic = 0x5041524D;
  uint32_t magic = kMagic;
  std::string name, type;
  PropertySet props{true};
  std::vector<double> value;  // per component; booleans 0 or 1
};

struct ParamSet {
  static constexpr uint32_t kMagic = 0x50534554;
  uint32_t magic = kMagic;
  bool defining = false;  // only a context descriptor's set takes definitions
  bool instance = false;
  PropertySet props{true};
  std::vector<std::unique_ptr<Param>> params;

  Param* Find(const std::string& name) {
    for (auto& p : params)
      if (p->name == name) return p.get();
    return nullptr;
  }
};

struct Clip {
  static constexpr uint32_t kMagic = 0x434C4950;
  uint32_t magic = kMagic;
  std::string name;
  PropertySet props;
  Effect* owner = nullptr;
  explicit Clip(bool open) : props(open) {}
};

struct Effect {
  static constexpr uint32_t kMagic = 0x45464654;
  enum class Kind { descriptor, contextDescriptor, instance };
  uint32_t magic = kMagic;
  Kind kind;
  PropertySet props;
  ParamSet params;
  std::vector<std::unique_ptr<Clip>> clips;
  ClipSetup source;

  Effect(Kind k, bool openProps) : kind(k), props(openProps) {}
  Clip* FindClip(const std::string& name) {
    for (auto& c : clips)
      if (c->name == name) return c.get();
    return nullptr;
  }
};

namespace {

template <class T, class H>
T* Checked(H handle) {
  T* object = reinterpret_cast<T*>(handle);
  if (object == nullptr || object->magic != T::kMagic) return nullptr;
  return object;
}

// The host whose action is running on this thread, and the render in
// progress on it.
struct RenderJob {
  const RenderRequest* request = nullptr;
  Effect* instance = nullptr;
  std::vector<std::unique_ptr<PropertySet>> liveImages;
  int imageCount = 0;
};
thread_local OfxTestHost* tHost = nullptr;
thread_local RenderJob* tJob = nullptr;

void Misuse(const std::string& what) {
  if (tHost != nullptr) tHost->Misuse(what);
}

// ---- Property suite --------------------------------------------------------

template <class T>
struct Slot;
template <>
struct Slot<int> {
  static constexpr Property::Type type = Property::Type::integer;
  static std::vector<int>& Of(Property& p) { return p.ints; }
};
template <>
struct Slot<double> {
  static constexpr Property::Type type = Property::Type::real;
  static std::vector<double>& Of(Property& p) { return p.doubles; }
};
template <>
struct Slot<std::string> {
  static constexpr Property::Type type = Property::Type::string;
  static std::vector<std::string>& Of(Property& p) { return p.strings; }
};
template <>
struct Slot<void*> {
  static constexpr Property::Type type = Property::Type::pointer;
  static std::vector<void*>& Of(Property& p) { return p.pointers; }
};

const char* TypeName(Property::Type t) {
  switch (t) {
    case Property::Type::integer: return "int";
    case Property::Type::real: return "double";
    case Property::Type::string: return "string";
    case Property::Type::pointer: return "pointer";
  }
  return "?";
}

// The property `name` of type T for writing (created in an open set) or
// reading, or the status that refuses it.
template <class T>
OfxStatus Lookup(OfxPropertySetHandle handle, const char* name, bool create, Property** out) {
  PropertySet* set = PropertySet::From(handle);
  if (set == nullptr || name == nullptr) {
    Misuse(std::string("property call with a bad handle or no name: ") + (name ? name : "(null)"));
    return kOfxStatErrBadHandle;
  }
  auto& props = set->properties();
  auto it = props.find(name);
  if (it == props.end()) {
    if (!create || !set->open()) return kOfxStatErrUnknown;
    Property p;
    p.type = Slot<T>::type;
    it = props.emplace(name, std::move(p)).first;
  }
  if (it->second.type != Slot<T>::type) {
    Misuse(std::string("property ") + name + " is " + TypeName(it->second.type) + ", used as " +
           TypeName(Slot<T>::type));
    return kOfxStatErrValue;
  }
  *out = &it->second;
  return kOfxStatOK;
}

template <class T>
OfxStatus Set(OfxPropertySetHandle h, const char* name, int index, T value) {
  Property* p = nullptr;
  if (OfxStatus s = Lookup<T>(h, name, true, &p); s != kOfxStatOK) return s;
  if (index < 0) return kOfxStatErrBadIndex;
  auto& values = Slot<T>::Of(*p);
  if (values.size() <= static_cast<size_t>(index)) values.resize(static_cast<size_t>(index) + 1);
  values[static_cast<size_t>(index)] = std::move(value);
  return kOfxStatOK;
}

template <class T, class In>
OfxStatus SetN(OfxPropertySetHandle h, const char* name, int count, In values) {
  Property* p = nullptr;
  if (OfxStatus s = Lookup<T>(h, name, true, &p); s != kOfxStatOK) return s;
  if (count < 0 || (count > 0 && values == nullptr)) return kOfxStatErrBadIndex;
  auto& stored = Slot<T>::Of(*p);
  stored.clear();
  for (int i = 0; i < count; ++i) {
    if constexpr (std::is_same_v<T, std::string>) {
      if (values[i] == nullptr) return kOfxStatErrValue;
    }
    stored.push_back(T(values[i]));
  }
  return kOfxStatOK;
}

template <class T, class Out>
OfxStatus Get(OfxPropertySetHandle h, const char* name, int index, Out* value) {
  Property* p = nullptr;
  if (OfxStatus s = Lookup<T>(h, name, false, &p); s != kOfxStatOK) return s;
  if (value == nullptr) {
    Misuse(std::string("property ") + name + " read into a null pointer");
    return kOfxStatErrValue;
  }
  auto& values = Slot<T>::Of(*p);
  if (index < 0 || static_cast<size_t>(index) >= values.size()) return kOfxStatErrBadIndex;
  if constexpr (std::is_same_v<T, std::string>)
    *value = const_cast<char*>(values[static_cast<size_t>(index)].c_str());
  else
    *value = values[static_cast<size_t>(index)];
  return kOfxStatOK;
}

template <class T, class Out>
OfxStatus GetN(OfxPropertySetHandle h, const char* name, int count, Out* values) {
  Property* p = nullptr;
  if (OfxStatus s = Lookup<T>(h, name, false, &p); s != kOfxStatOK) return s;
  auto& stored = Slot<T>::Of(*p);
  if (count < 0 || static_cast<size_t>(count) > stored.size()) return kOfxStatErrBadIndex;
  if (count > 0 && values == nullptr) return kOfxStatErrValue;
  for (int i = 0; i < count; ++i) {
    if constexpr (std::is_same_v<T, std::string>)
      values[i] = const_cast<char*>(stored[static_cast<size_t>(i)].c_str());
    else
      values[i] = stored[static_cast<size_t>(i)];
  }
  return kOfxStatOK;
}

OfxStatus PropSetPointer(OfxPropertySetHandle h, const char* n, int i, void* v) {
  return Set<void*>(h, n, i, v);
}
OfxStatus PropSetString(OfxPropertySetHandle h, const char* n, int i, const char* v) {
  if (v == nullptr) return kOfxStatErrValue;
  return Set<std::string>(h, n, i, std::string(v));
}
OfxStatus PropSetDouble(OfxPropertySetHandle h, const char* n, int i, double v) {
  return Set<double>(h, n, i, v);
}
OfxStatus PropSetInt(OfxPropertySetHandle h, const char* n, int i, int v) {
  return Set<int>(h, n, i, v);
}
OfxStatus PropSetPointerN(OfxPropertySetHandle h, const char* n, int c, void* const* v) {
  return SetN<void*>(h, n, c, v);
}
OfxStatus PropSetStringN(OfxPropertySetHandle h, const char* n, int c, const char* const* v) {
  return SetN<std::string>(h, n, c, v);
}
OfxStatus PropSetDoubleN(OfxPropertySetHandle h, const char* n, int c, const double* v) {
  return SetN<double>(h, n, c, v);
}
OfxStatus PropSetIntN(OfxPropertySetHandle h, const char* n, int c, const int* v) {
  return SetN<int>(h, n, c, v);
}
OfxStatus PropGetPointer(OfxPropertySetHandle h, const char* n, int i, void** v) {
  return Get<void*>(h, n, i, v);
}
OfxStatus PropGetString(OfxPropertySetHandle h, const char* n, int i, char** v) {
  return Get<std::string>(h, n, i, v);
}
OfxStatus PropGetDouble(OfxPropertySetHandle h, const char* n, int i, double* v) {
  return Get<double>(h, n, i, v);
}
OfxStatus PropGetInt(OfxPropertySetHandle h, const char* n, int i, int* v) {
  return Get<int>(h, n, i, v);
}
OfxStatus PropGetPointerN(OfxPropertySetHandle h, const char* n, int c, void** v) {
  return GetN<void*>(h, n, c, v);
}
OfxStatus PropGetStringN(OfxPropertySetHandle h, const char* n, int c, char** v) {
  return GetN<std::string>(h, n, c, v);
}
OfxStatus PropGetDoubleN(OfxPropertySetHandle h, const char* n, int c, double* v) {
  return GetN<double>(h, n, c, v);
}
OfxStatus PropGetIntN(OfxPropertySetHandle h, const char* n, int c, int* v) {
  return GetN<int>(h, n, c, v);
}
OfxStatus PropReset(OfxPropertySetHandle h, const char* n) {
  PropertySet* set = PropertySet::From(h);
  if (set == nullptr || n == nullptr) return kOfxStatErrBadHandle;
  return set->Has(n) ? kOfxStatOK : kOfxStatErrUnknown;
}
OfxStatus PropGetDimension(OfxPropertySetHandle h, const char* n, int* count) {
  PropertySet* set = PropertySet::From(h);
  if (set == nullptr || n == nullptr || count == nullptr) return kOfxStatErrBadHandle;
  const Property* p = set->Find(n);
  if (p == nullptr) return kOfxStatErrUnknown;
  *count = p->Size();
  return kOfxStatOK;
}

const OfxPropertySuiteV1 kPropertySuite = {
    PropSetPointer, PropSetString,  PropSetDouble,   PropSetInt,     PropSetPointerN,
    PropSetStringN, PropSetDoubleN, PropSetIntN,     PropGetPointer, PropGetString,
    PropGetDouble,  PropGetInt,     PropGetPointerN, PropGetStringN, PropGetDoubleN,
    PropGetIntN,    PropReset,      PropGetDimension};

// ---- Image-effect suite ----------------------------------------------------

OfxStatus GetPropertySet(OfxImageEffectHandle h, OfxPropertySetHandle* out) {
  Effect* e = Checked<Effect>(h);
  if (e == nullptr || out == nullptr) {
    Misuse("getPropertySet with a bad effect handle");
    return kOfxStatErrBadHandle;
  }
  *out = e->props.handle();
  return kOfxStatOK;
}

OfxStatus GetParamSet(OfxImageEffectHandle h, OfxParamSetHandle* out) {
  Effect* e = Checked<Effect>(h);
  if (e == nullptr || out == nullptr) {
    Misuse("getParamSet with a bad effect handle");
    return kOfxStatErrBadHandle;
  }
  *out = reinterpret_cast<OfxParamSetHandle>(&e->params);
  return kOfxStatOK;
}

OfxStatus ClipDefine(OfxImageEffectHandle h, const char* name, OfxPropertySetHandle* props) {
  Effect* e = Checked<Effect>(h);
  if (e == nullptr || name == nullptr || e->kind != Effect::Kind::contextDescriptor) {
    Misuse("clipDefine outside a context descriptor");
    return kOfxStatErrBadHandle;
  }
  if (e->FindClip(name) != nullptr) return kOfxStatErrExists;
  auto clip = std::make_unique<Clip>(true);
  clip->name = name;
  clip->owner = e;
  clip->props.SetStrings(kOfxPropType, {kOfxTypeClip});
  clip->props.SetStrings(kOfxPropName, {name});
  if (props != nullptr) *props = clip->props.handle();
  e->clips.push_back(std::move(clip));
  return kOfxStatOK;
}

OfxStatus ClipGetHandle(OfxImageEffectHandle h, const char* name, OfxImageClipHandle* clip,
                        OfxPropertySetHandle* props) {
  Effect* e = Checked<Effect>(h);
  if (e == nullptr || name == nullptr || clip == nullptr || e->kind != Effect::Kind::instance) {
    Misuse("clipGetHandle without an instance");
    return kOfxStatErrBadHandle;
  }
  Clip* c = e->FindClip(name);
  if (c == nullptr) return kOfxStatErrUnknown;
  *clip = reinterpret_cast<OfxImageClipHandle>(c);
  if (props != nullptr) *props = c->props.handle();
  return kOfxStatOK;
}

OfxStatus ClipGetPropertySet(OfxImageClipHandle h, OfxPropertySetHandle* out) {
  Clip* c = Checked<Clip>(h);
  if (c == nullptr || out == nullptr) return kOfxStatErrBadHandle;
  *out = c->props.handle();
  return kOfxStatOK;
}

OfxStatus ClipGetImage(OfxImageClipHandle h, OfxTime time, const OfxRectD*,
                       OfxPropertySetHandle* image) {
  Clip* c = Checked<Clip>(h);
  if (c == nullptr || image == nullptr) {
    Misuse("clipGetImage with a bad clip handle");
    return kOfxStatErrBadHandle;
  }
  RenderJob* job = tJob;
  if (job == nullptr || job->instance != c->owner) {
    Misuse("clipGetImage outside a render");
    return kOfxStatFailed;
  }
  if (time != job->request->time) Misuse("clipGetImage at another time than the render's");
  HostImage* source =
      c->name == kOfxImageEffectOutputClipName ? job->request->output : job->request->source;
  if (source == nullptr) return kOfxStatFailed;
  if (job->request->nullImageHandle) {
    *image = nullptr;
    return kOfxStatOK;
  }
  auto props = std::make_unique<PropertySet>(false);
  props->SetStrings(kOfxPropType, {kOfxTypeImage});
  props->SetStrings(kOfxImageEffectPropPixelDepth, {source->depth});
  props->SetStrings(kOfxImageEffectPropComponents, {source->components});
  props->SetStrings(kOfxImageEffectPropPreMultiplication, {source->premultiplication});
  props->SetDoubles(kOfxImageEffectPropRenderScale,
                    {job->request->renderScale[0], job->request->renderScale[1]});
  props->SetDoubles(kOfxImagePropPixelAspectRatio, {1.0});
  void* data = source->data();
  if (source->nullData) data = nullptr;
  if (source->reportedAddress != 0) data = reinterpret_cast<void*>(source->reportedAddress);
  props->SetPointer(kOfxImagePropData, data);
  const OfxRectI& b = source->bounds;
  props->SetInts(kOfxImagePropBounds, {b.x1, b.y1, b.x2, b.y2});
  props->SetInts(kOfxImagePropRegionOfDefinition, {b.x1, b.y1, b.x2, b.y2});
  props->SetInts(kOfxImagePropRowBytes, {source->rowBytes});
  props->SetStrings(kOfxImagePropField, {kOfxImageFieldNone});
  props->SetStrings(kOfxImagePropUniqueIdentifier,
                    {c->name + "#" + std::to_string(++job->imageCount)});
  *image = props->handle();
  job->liveImages.push_back(std::move(props));
  return kOfxStatOK;
}

OfxStatus ClipReleaseImage(OfxPropertySetHandle image) {
  RenderJob* job = tJob;
  if (job != nullptr)
    for (auto it = job->liveImages.begin(); it != job->liveImages.end(); ++it)
      if ((*it)->handle() == image) {
        job->liveImages.erase(it);
        return kOfxStatOK;
      }
  Misuse("clipReleaseImage of an image not held (released twice, or never fetched)");
  return kOfxStatErrBadHandle;
}

OfxStatus ClipGetRegionOfDefinition(OfxImageClipHandle h, OfxTime, OfxRectD* rod) {
  Clip* c = Checked<Clip>(h);
  if (c == nullptr || rod == nullptr || c->owner->kind != Effect::Kind::instance)
    return kOfxStatErrBadHandle;
  *rod = c->owner->source.rod;
  return kOfxStatOK;
}

int Abort(OfxImageEffectHandle) { return 0; }

OfxStatus ImageMemoryAlloc(OfxImageEffectHandle, size_t, OfxImageMemoryHandle*) {
  return kOfxStatErrMemory;
}
OfxStatus ImageMemoryOther(OfxImageMemoryHandle) { return kOfxStatErrBadHandle; }
OfxStatus ImageMemoryLock(OfxImageMemoryHandle, void**) { return kOfxStatErrBadHandle; }

// clang-format off
const OfxImageEffectSuiteV1 kImageEffectSuite = {
    GetPropertySet,   GetParamSet,      ClipDefine,         ClipGetHandle,
    ClipGetPropertySet, ClipGetImage,   ClipReleaseImage,   ClipGetRegionOfDefinition,
    Abort,            ImageMemoryAlloc, ImageMemoryOther,   ImageMemoryLock,
    ImageMemoryOther};
// clang-format on

// ---- Parameter suite -------------------------------------------------------

int ComponentCount(const std::string& type) {
  if (type == kOfxParamTypeRGB) return 3;
  if (type == "OfxParamTypeRGBA") return 4;
  if (type == "OfxParamTypeDouble2D" || type == "OfxParamTypeInteger2D") return 2;
  if (type == "OfxParamTypeDouble3D" || type == "OfxParamTypeInteger3D") return 3;
  return 1;
}

bool IntegerType(const std::string& type) {
  return type == kOfxParamTypeBoolean || type == "OfxParamTypeInteger" ||
         type == "OfxParamTypeChoice" || type == "OfxParamTypeInteger2D" ||
         type == "OfxParamTypeInteger3D";
}

OfxStatus ParamDefine(OfxParamSetHandle h, const char* type, const char* name,
                      OfxPropertySetHandle* props) {
  ParamSet* set = Checked<ParamSet>(h);
  if (set == nullptr || type == nullptr || name == nullptr || !set->defining) {
    Misuse("paramDefine outside DescribeInContext");
    return kOfxStatErrBadHandle;
  }
  if (set->Find(name) != nullptr) return kOfxStatErrExists;
  static const std::set<std::string> kTypes = {
      kOfxParamTypeDouble,      kOfxParamTypeBoolean, kOfxParamTypeRGB,     "OfxParamTypeRGBA",
      "OfxParamTypeInteger",    "OfxParamTypeChoice", "OfxParamTypeString", "OfxParamTypeDouble2D",
      "OfxParamTypePushButton", "OfxParamTypeGroup",  "OfxParamTypePage"};
  if (kTypes.count(type) == 0) return kOfxStatErrUnknown;
  auto param = std::make_unique<Param>();
  param->name = name;
  param->type = type;
  param->props.SetStrings(kOfxPropType, {kOfxTypeParameter});
  param->props.SetStrings(kOfxPropName, {name});
  param->props.SetStrings(kOfxParamPropType, {type});
  param->props.SetStrings(kOfxParamPropScriptName, {name});
  if (props != nullptr) *props = param->props.handle();
  set->params.push_back(std::move(param));
  return kOfxStatOK;
}

OfxStatus ParamGetHandle(OfxParamSetHandle h, const char* name, OfxParamHandle* param,
                         OfxPropertySetHandle* props) {
  ParamSet* set = Checked<ParamSet>(h);
  if (set == nullptr || name == nullptr || param == nullptr) return kOfxStatErrBadHandle;
  if (!set->instance) Misuse("paramGetHandle on a descriptor");
  Param* p = set->Find(name);
  if (p == nullptr) return kOfxStatErrUnknown;
  *param = reinterpret_cast<OfxParamHandle>(p);
  if (props != nullptr) *props = p->props.handle();
  return kOfxStatOK;
}

OfxStatus ParamSetGetPropertySet(OfxParamSetHandle h, OfxPropertySetHandle* out) {
  ParamSet* set = Checked<ParamSet>(h);
  if (set == nullptr || out == nullptr) return kOfxStatErrBadHandle;
  *out = set->props.handle();
  return kOfxStatOK;
}

OfxStatus ParamGetPropertySet(OfxParamHandle h, OfxPropertySetHandle* out) {
  Param* p = Checked<Param>(h);
  if (p == nullptr || out == nullptr) return kOfxStatErrBadHandle;
  *out = p->props.handle();
  return kOfxStatOK;
}

// One pointer per component, of exactly the type the parameter's values have.
OfxStatus WriteValues(const Param& p, va_list args) {
  const int n = ComponentCount(p.type);
  for (int i = 0; i < n; ++i) {
    const double v = static_cast<size_t>(i) < p.value.size() ? p.value[static_cast<size_t>(i)] : 0;
    if (IntegerType(p.type)) {
      int* out = va_arg(args, int*);
      if (out == nullptr) return kOfxStatErrValue;
      *out = static_cast<int>(v);
    } else {
      double* out = va_arg(args, double*);
      if (out == nullptr) return kOfxStatErrValue;
      *out = v;
    }
  }
  return kOfxStatOK;
}

OfxStatus ParamGetValue(OfxParamHandle h, ...) {
  Param* p = Checked<Param>(h);
  if (p == nullptr) return kOfxStatErrBadHandle;
  if (tJob != nullptr) Misuse("paramGetValue inside a render (the render's time is ignored)");
  va_list args;
  va_start(args, h);
  const OfxStatus s = WriteValues(*p, args);
  va_end(args);
  return s;
}

OfxStatus ParamGetValueAtTime(OfxParamHandle h, OfxTime time, ...) {
  Param* p = Checked<Param>(h);
  if (p == nullptr) return kOfxStatErrBadHandle;
  va_list args;
  va_start(args, time);
  const OfxStatus s = WriteValues(*p, args);
  va_end(args);
  return s;
}

OfxStatus ParamUnsupported(OfxParamHandle, ...) { return kOfxStatErrUnsupported; }
OfxStatus ParamUnsupportedAt(OfxParamHandle, OfxTime, ...) { return kOfxStatErrUnsupported; }
OfxStatus ParamGetIntegral(OfxParamHandle, OfxTime, OfxTime, ...) { return kOfxStatErrUnsupported; }
OfxStatus ParamGetNumKeys(OfxParamHandle h, unsigned int* count) {
  if (Checked<Param>(h) == nullptr || count == nullptr) return kOfxStatErrBadHandle;
  *count = 0;
  return kOfxStatOK;
}
OfxStatus ParamGetKeyTime(OfxParamHandle, unsigned int, OfxTime*) { return kOfxStatErrBadIndex; }
OfxStatus ParamGetKeyIndex(OfxParamHandle, OfxTime, int, int*) { return kOfxStatFailed; }
OfxStatus ParamDeleteKey(OfxParamHandle, OfxTime) { return kOfxStatErrBadIndex; }
OfxStatus ParamDeleteAllKeys(OfxParamHandle) { return kOfxStatOK; }
OfxStatus ParamCopy(OfxParamHandle, OfxParamHandle, OfxTime, const OfxRangeD*) {
  return kOfxStatErrUnsupported;
}
OfxStatus ParamEditBegin(OfxParamSetHandle, const char*) { return kOfxStatOK; }
OfxStatus ParamEditEnd(OfxParamSetHandle) { return kOfxStatOK; }

const OfxParameterSuiteV1 kParameterSuite = {
    ParamDefine,      ParamGetHandle,      ParamSetGetPropertySet, ParamGetPropertySet,
    ParamGetValue,    ParamGetValueAtTime, ParamUnsupportedAt,     ParamGetIntegral,
    ParamUnsupported, ParamUnsupportedAt,  ParamGetNumKeys,        ParamGetKeyTime,
    ParamGetKeyIndex, ParamDeleteKey,      ParamDeleteAllKeys,     ParamCopy,
    ParamEditBegin,   ParamEditEnd};

// ---- Message suite ---------------------------------------------------------

OfxStatus RecordMessage(bool persistent, const char* type, const char* id, const char* format,
                        va_list args) {
  if (tHost == nullptr || type == nullptr || format == nullptr) return kOfxStatErrBadHandle;
  char text[1024];
  std::vsnprintf(text, sizeof text, format, args);
  tHost->Record(Message{type, id != nullptr ? id : "", text, persistent});
  return kOfxStatOK;
}

OfxStatus MessageFn(void*, const char* type, const char* id, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const OfxStatus s = RecordMessage(false, type, id, format, args);
  va_end(args);
  return s;
}

OfxStatus PersistentMessage(void*, const char* type, const char* id, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const OfxStatus s = RecordMessage(true, type, id, format, args);
  va_end(args);
  return s;
}

OfxStatus ClearPersistentMessage(void*) { return kOfxStatOK; }

const OfxMessageSuiteV1 kMessageSuiteV1 = {MessageFn};
const OfxMessageSuiteV2 kMessageSuiteV2 = {MessageFn, PersistentMessage, ClearPersistentMessage};

// ---- Multi-thread suite ----------------------------------------------------

// Set on the threads multiThread spawns: their index, and that they are
// spawned (the thread of an action is not).
thread_local bool tSpawned = false;
thread_local unsigned int tThreadIndex = 0;

// Every call on a thread of its own, all started before any is waited for,
// so calls that wait for each other would show it. A spawned thread knows
// the host (its suite calls are checked) but no render: images are for the
// render's own thread.
OfxStatus MultiThreadFn(OfxThreadFunctionV1 func, unsigned int nThreads, void* customArg) {
  OfxTestHost* host = tHost;
  if (host == nullptr) return kOfxStatErrBadHandle;
  if (tSpawned) {
    host->Misuse("multiThread called from a thread it spawned");
    return kOfxStatErrExists;
  }
  if (func == nullptr || nThreads == 0) {
    host->Misuse("multiThread with no function or no threads");
    return kOfxStatErrValue;
  }
  std::vector<std::thread> threads;
  OfxStatus status = kOfxStatOK;
  try {
    for (unsigned int i = 0; i < nThreads; ++i)
      threads.emplace_back([host, func, i, nThreads, customArg] {
        tHost = host;
        tSpawned = true;
        tThreadIndex = i;
        func(i, nThreads, customArg);
      });
  } catch (const std::system_error&) {
    status = kOfxStatErrMemory;  // fewer threads than asked: the plug-in finishes the rest
  }
  for (std::thread& t : threads) t.join();
  if (status == kOfxStatOK) host->CountMultiThread(nThreads);
  return status;
}

OfxStatus MultiThreadNumCPUs(unsigned int* nCPUs) {
  if (tHost == nullptr) return kOfxStatErrBadHandle;
  if (nCPUs == nullptr) {
    Misuse("multiThreadNumCPUs into a null pointer");
    return kOfxStatErrBadHandle;
  }
  *nCPUs = tHost->threads();
  return kOfxStatOK;
}

OfxStatus MultiThreadIndex(unsigned int* threadIndex) {
  if (threadIndex == nullptr) {
    Misuse("multiThreadIndex into a null pointer");
    return kOfxStatErrBadHandle;
  }
  *threadIndex = tSpawned ? tThreadIndex : 0;
  return kOfxStatOK;
}

int MultiThreadIsSpawnedThread() { return tSpawned ? 1 : 0; }

struct HostMutex {
  static constexpr uint32_t kMagic = 0x4D555458;
  uint32_t magic = kMagic;
  std::recursive_mutex mutex;
};

OfxStatus MutexCreate(OfxMutexHandle* handle, int lockCount) {
  if (handle == nullptr || lockCount < 0) {
    Misuse("mutexCreate into a null pointer or with a negative lock count");
    return kOfxStatErrValue;
  }
  auto* m = new HostMutex;
  for (int i = 0; i < lockCount; ++i) m->mutex.lock();
  *handle = reinterpret_cast<OfxMutexHandle>(m);
  return kOfxStatOK;
}

HostMutex* CheckedMutex(OfxMutexHandle handle, const char* what) {
  HostMutex* m = Checked<HostMutex>(handle);
  if (m == nullptr) Misuse(std::string(what) + " with a bad mutex handle");
  return m;
}

OfxStatus MutexDestroy(OfxMutexHandle handle) {
  HostMutex* m = CheckedMutex(handle, "mutexDestroy");
  if (m == nullptr) return kOfxStatErrBadHandle;
  m->magic = 0;
  delete m;
  return kOfxStatOK;
}

OfxStatus MutexLock(OfxMutexHandle handle) {
  HostMutex* m = CheckedMutex(handle, "mutexLock");
  if (m == nullptr) return kOfxStatErrBadHandle;
  m->mutex.lock();
  return kOfxStatOK;
}

OfxStatus MutexUnLock(OfxMutexHandle handle) {
  HostMutex* m = CheckedMutex(handle, "mutexUnLock");
  if (m == nullptr) return kOfxStatErrBadHandle;
  m->mutex.unlock();
  return kOfxStatOK;
}

OfxStatus MutexTryLock(OfxMutexHandle handle) {
  HostMutex* m = CheckedMutex(handle, "mutexTryLock");
  if (m == nullptr) return kOfxStatErrBadHandle;
  return m->mutex.try_lock() ? kOfxStatOK : kOfxStatFailed;
}

const OfxMultiThreadSuiteV1 kMultiThreadSuite = {
    MultiThreadFn, MultiThreadNumCPUs, MultiThreadIndex, MultiThreadIsSpawnedThread,
    MutexCreate,   MutexDestroy,       MutexLock,        MutexUnLock,
    MutexTryLock};

const void* FetchSuiteFn(OfxPropertySetHandle, const char* name, int version) {
  if (tHost == nullptr || name == nullptr) return nullptr;  // outside an action (setHost)
  return tHost->FetchSuite(name, version);
}

// Runs an action with this thread's host set, for the suites to find.
class ActionScope {
 public:
  explicit ActionScope(OfxTestHost* host) : previous_(tHost) { tHost = host; }
  ~ActionScope() { tHost = previous_; }
  ActionScope(const ActionScope&) = delete;
  ActionScope& operator=(const ActionScope&) = delete;

 private:
  OfxTestHost* previous_;
};

void* OpenLibrary(const std::string& path, std::string* error) {
#if defined(_WIN32)
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) *error = "LoadLibrary error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(module);
#else
  // Lazy, local binding, as hosts open plug-ins.
  void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    *error = reason ? reason : "unknown error";
  }
  return handle;
#endif
}

void* Symbol(void* library, const char* name) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
  return dlsym(library, name);
#endif
}

void CloseLibrary(void* library) {
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(library));
#else
  dlclose(library);
#endif
}

}  // namespace

// ---- Properties ------------------------------------------------------------

int Property::Size() const {
  switch (type) {
    case Type::integer: return static_cast<int>(ints.size());
    case Type::real: return static_cast<int>(doubles.size());
    case Type::string: return static_cast<int>(strings.size());
    case Type::pointer: return static_cast<int>(pointers.size());
  }
  return 0;
}

void PropertySet::SetInts(const std::string& name, std::vector<int> values) {
  Property& p = properties_[name];
  p = Property{};
  p.type = Property::Type::integer;
  p.ints = std::move(values);
}
void PropertySet::SetDoubles(const std::string& name, std::vector<double> values) {
  Property& p = properties_[name];
  p = Property{};
  p.type = Property::Type::real;
  p.doubles = std::move(values);
}
void PropertySet::SetStrings(const std::string& name, std::vector<std::string> values) {
  Property& p = properties_[name];
  p = Property{};
  p.type = Property::Type::string;
  p.strings = std::move(values);
}
void PropertySet::SetPointer(const std::string& name, void* value) {
  Property& p = properties_[name];
  p = Property{};
  p.type = Property::Type::pointer;
  p.pointers = {value};
}

const Property* PropertySet::Find(const std::string& name) const {
  auto it = properties_.find(name);
  return it == properties_.end() ? nullptr : &it->second;
}

int PropertySet::Int(const std::string& name, int index) const {
  const Property* p = Find(name);
  if (p == nullptr || index < 0 || static_cast<size_t>(index) >= p->ints.size()) return 0;
  return p->ints[static_cast<size_t>(index)];
}
double PropertySet::Double(const std::string& name, int index) const {
  const Property* p = Find(name);
  if (p == nullptr || index < 0 || static_cast<size_t>(index) >= p->doubles.size()) return 0;
  return p->doubles[static_cast<size_t>(index)];
}
std::string PropertySet::String(const std::string& name, int index) const {
  const Property* p = Find(name);
  if (p == nullptr || index < 0 || static_cast<size_t>(index) >= p->strings.size()) return "";
  return p->strings[static_cast<size_t>(index)];
}
std::vector<std::string> PropertySet::Strings(const std::string& name) const {
  const Property* p = Find(name);
  return p == nullptr ? std::vector<std::string>{} : p->strings;
}

PropertySet* PropertySet::From(OfxPropertySetHandle handle) {
  PropertySet* set = reinterpret_cast<PropertySet*>(handle);
  if (set == nullptr || set->magic_ != kMagic) return nullptr;
  return set;
}

// ---- Images ----------------------------------------------------------------

namespace {

constexpr size_t kGuardBytes = 64;

int DepthBytes(const std::string& depth) {
  if (depth == kOfxBitDepthShort || depth == kOfxBitDepthHalf) return 2;
  if (depth == kOfxBitDepthFloat) return 4;
  return 1;
}

int Components(const std::string& components) {
  if (components == kOfxImageComponentRGB) return 3;
  if (components == kOfxImageComponentAlpha) return 1;
  return 4;
}

}  // namespace

HostImage::HostImage(const std::string& imageDepth, const std::string& imageComponents,
                     const OfxRectI& imageBounds, Layout layout)
    : depth(imageDepth), components(imageComponents), bounds(imageBounds) {
  componentBytes_ = DepthBytes(depth);
  pixelBytes_ = componentBytes_ * Components(components);
  // 64-bit: a test may place an image anywhere, up to INT_MIN and INT_MAX.
  const int64_t width = int64_t{bounds.x2} - bounds.x1, height = int64_t{bounds.y2} - bounds.y1;
  if (width < 0 || height < 0 || layout.rowPadding < 0)
    throw std::invalid_argument("inverted image bounds or negative padding");
  const int64_t rowBytesWanted = width * pixelBytes_ + layout.rowPadding;
  if (rowBytesWanted > INT32_MAX || rowBytesWanted * height > (int64_t{1} << 30))
    throw std::invalid_argument("a test image of more than 1 GiB");
  storedRowBytes_ = static_cast<int>(rowBytesWanted);
  const size_t rowsBytes = static_cast<size_t>(storedRowBytes_) * static_cast<size_t>(height);
  storage_.assign(rowsBytes + 2 * kGuardBytes, layout.fill);
  // Bottom row first: data is the first row in memory. Top row first: the
  // bottom row is the last one in memory, and a row up is a row back.
  if (layout.topDown && height > 0) {
    dataOffset_ = kGuardBytes + rowsBytes - static_cast<size_t>(storedRowBytes_);
    rowBytes = -storedRowBytes_;
  } else {
    dataOffset_ = kGuardBytes;
    rowBytes = storedRowBytes_;
  }
}

unsigned char* HostImage::At(int x, int y) {
  return const_cast<unsigned char*>(static_cast<const HostImage*>(this)->At(x, y));
}

const unsigned char* HostImage::At(int x, int y) const {
  const int step = rowBytes < 0 ? -storedRowBytes_ : storedRowBytes_;
  return storage_.data() + dataOffset_ + (ptrdiff_t{y} - bounds.y1) * step +
         (ptrdiff_t{x} - bounds.x1) * pixelBytes_;
}

template <class T>
T HostImage::Get(int x, int y, int c) const {
  T v;
  std::memcpy(&v, At(x, y) + c * componentBytes_, sizeof v);
  return v;
}

template <class T>
void HostImage::Set(int x, int y, int c, T value) {
  std::memcpy(At(x, y) + c * componentBytes_, &value, sizeof value);
}

template uint8_t HostImage::Get<uint8_t>(int, int, int) const;
template uint16_t HostImage::Get<uint16_t>(int, int, int) const;
template float HostImage::Get<float>(int, int, int) const;
template void HostImage::Set<uint8_t>(int, int, int, uint8_t);
template void HostImage::Set<uint16_t>(int, int, int, uint16_t);
template void HostImage::Set<float>(int, int, int, float);

bool HostImage::SameOutside(const std::vector<unsigned char>& before,
                            const OfxRectI& window) const {
  if (before.size() != storage_.size()) return false;
  std::vector<bool> inside(storage_.size(), false);
  for (int y = window.y1; y < window.y2; ++y)
    for (int x = window.x1; x < window.x2; ++x) {
      const size_t first = static_cast<size_t>(At(x, y) - storage_.data());
      for (int i = 0; i < pixelBytes_; ++i) inside[first + static_cast<size_t>(i)] = true;
    }
  for (size_t i = 0; i < storage_.size(); ++i)
    if (!inside[i] && storage_[i] != before[i]) return false;
  return true;
}

std::string AlphaFault(const HostImage& image, const OfxRectI& window,
                       const std::string& premultiplication) {
  const bool premultiplied = premultiplication == kOfxImagePreMultiplied;
  const bool opaque = premultiplication == kOfxImageOpaque;
  if ((!premultiplied && !opaque) || image.componentCount() != 4) return "";
  const int bytes = image.componentBytes();
  auto component = [&](int x, int y, int c) -> double {
    if (bytes == 1) return image.Get<uint8_t>(x, y, c);
    if (bytes == 2) return image.Get<uint16_t>(x, y, c);
    return image.Get<float>(x, y, c);
  };
  const double max = bytes == 1 ? 255 : bytes == 2 ? 65535 : 1;
  const int64_t x1 = std::max(window.x1, image.bounds.x1),
                x2 = std::min(window.x2, image.bounds.x2);
  const int64_t y1 = std::max(window.y1, image.bounds.y1),
                y2 = std::min(window.y2, image.bounds.y2);
  for (int64_t y = y1; y < y2; ++y)
    for (int64_t x = x1; x < x2; ++x) {
      const int px = static_cast<int>(x), py = static_cast<int>(y);
      const double alpha = component(px, py, 3);
      const std::string where = "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
      if (opaque && !(alpha == max))
        return "the Output is declared opaque, but " + where + " has alpha " +
               std::to_string(alpha);
      for (int c = 0; c < 3 && premultiplied; ++c)
        if (!(component(px, py, c) <= alpha))
          return "the Output is declared premultiplied, but " + where + " has colour " +
                 std::to_string(component(px, py, c)) + " above its alpha " + std::to_string(alpha);
    }
  return "";
}

// ---- The host --------------------------------------------------------------

OfxTestHost::OfxTestHost(const std::string& binaryPath, HostOptions options)
    : options_(std::move(options)) {
  std::string error;
  library_ = OpenLibrary(binaryPath, &error);
  if (library_ == nullptr)
    throw std::runtime_error("cannot load plug-in '" + binaryPath + "': " + error);
  auto count =
      reinterpret_cast<OfxGetNumberOfPluginsFunc>(Symbol(library_, "OfxGetNumberOfPlugins"));
  auto get = reinterpret_cast<OfxGetPluginFunc>(Symbol(library_, "OfxGetPlugin"));
  if (count == nullptr || get == nullptr) {
    CloseLibrary(library_);
    throw std::runtime_error("plug-in '" + binaryPath + "' lacks the OpenFX exports");
  }
  pluginCount_ = count();
  plugin_ = pluginCount_ > 0 ? get(0) : nullptr;
  if (plugin_ == nullptr || plugin_->pluginApi == nullptr ||
      std::strcmp(plugin_->pluginApi, kOfxImageEffectPluginApi) != 0 ||
      plugin_->apiVersion != kOfxImageEffectPluginApiVersion || plugin_->mainEntry == nullptr ||
      plugin_->setHost == nullptr) {
    CloseLibrary(library_);
    throw std::runtime_error("plug-in '" + binaryPath + "' has no image effect of API version 1");
  }

  hostProps_.SetStrings(kOfxPropType, {kOfxTypeImageEffectHost});
  hostProps_.SetStrings(kOfxPropName, {"org.corvalin.OfxTestHost"});
  hostProps_.SetStrings(kOfxPropLabel, {"Corvalin test host"});
  hostProps_.SetInts(kOfxPropAPIVersion, {1, 4});
  hostProps_.SetInts(kOfxPropVersion, {1, 0});
  hostProps_.SetInts("OfxImageEffectHostPropIsBackground", {1});
  hostProps_.SetInts(kOfxImageEffectPropSupportsTiles, {1});
  hostProps_.SetInts(kOfxImageEffectPropSupportsMultiResolution, {1});
  hostProps_.SetInts(kOfxImageEffectPropTemporalClipAccess, {0});
  hostProps_.SetInts(kOfxImageEffectPropSupportsMultipleClipDepths, {0});
  hostProps_.SetInts(kOfxImageEffectPropSupportsMultipleClipPARs, {0});
  hostProps_.SetStrings(kOfxImageEffectPropSupportedContexts,
                        {kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral});
  hostProps_.SetStrings(kOfxImageEffectPropSupportedComponents,
                        {kOfxImageComponentRGBA, kOfxImageComponentRGB, kOfxImageComponentAlpha});
  hostProps_.SetInts("OfxParamHostPropMaxParameters", {-1});
  ofxHost_.host = hostProps_.handle();
  ofxHost_.fetchSuite = &FetchSuiteFn;
  plugin_->setHost(&ofxHost_);
}

OfxTestHost::~OfxTestHost() { CloseLibrary(library_); }

std::string OfxTestHost::FindInstalledBundle(const std::string& bundleName) {
  namespace fs = std::filesystem;
#if defined(_WIN32)
  const char separator = ';';
  const char* common = std::getenv("CommonProgramW6432");
  if (common == nullptr) common = std::getenv("CommonProgramFiles");
  const std::string standard =
      std::string(common != nullptr ? common : "C:\\Program Files\\Common Files") +
      "\\OFX\\Plugins";
#else
  const char separator = ':';
  const std::string standard = "/usr/OFX/Plugins";
#endif
  std::vector<std::string> folders;
  if (const char* path = std::getenv("OFX_PLUGIN_PATH"); path != nullptr) {
    std::string list = path;
    for (size_t start = 0; start <= list.size();) {
      size_t end = list.find(separator, start);
      if (end == std::string::npos) end = list.size();
      if (end > start) folders.push_back(list.substr(start, end - start));
      start = end + 1;
    }
  }
  folders.push_back(standard);
  std::string searched;
  for (const std::string& folder : folders) {
    searched += (searched.empty() ? "" : ", ") + folder;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (!name.empty() && name.front() == '@') {
        it.disable_recursion_pending();
        continue;
      }
      if (name == bundleName && it->is_directory(ec) &&
          fs::is_regular_file(BinaryInBundle(it->path().string()), ec)) {
        return it->path().string();
      }
    }
  }
  throw std::runtime_error(bundleName + " is in none of the plug-in folders (searched " + searched +
                           ")");
}

std::string OfxTestHost::BinaryInBundle(const std::string& bundlePath) {
  std::string bundle = bundlePath;
  while (!bundle.empty() && (bundle.back() == '/' || bundle.back() == '\\')) bundle.pop_back();
  const size_t slash = bundle.find_last_of("/\\");
  std::string name = slash == std::string::npos ? bundle : bundle.substr(slash + 1);
  const std::string suffix = ".bundle";
  if (name.size() > suffix.size() &&
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
    name.resize(name.size() - suffix.size());
#if defined(_WIN32)
  const char* arch = "Win64";
#else
  const char* arch = "Linux-x86-64";
#endif
  return bundle + "/Contents/" + arch + "/" + name;
}

const void* OfxTestHost::FetchSuite(const char* name, int version) const {
  if (options_.withheldSuites.count(name) != 0) return nullptr;
  const std::string n = name;
  if (n == kOfxPropertySuite && version == 1) return &kPropertySuite;
  if (n == kOfxImageEffectSuite && version == 1) return &kImageEffectSuite;
  if (n == kOfxParameterSuite && version == 1) return &kParameterSuite;
  if (n == kOfxMessageSuite && version == 1) return &kMessageSuiteV1;
  if (n == kOfxMessageSuite && version == 2 && options_.offerMessageV2) return &kMessageSuiteV2;
  if (n == kOfxMultiThreadSuite && version == 1) return &kMultiThreadSuite;
  return nullptr;
}

OfxStatus OfxTestHost::Action(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                              OfxPropertySetHandle outArgs) {
  ActionScope scope(this);
  return plugin_->mainEntry(action, handle, inArgs, outArgs);
}

OfxStatus OfxTestHost::MultiThread(OfxThreadFunctionV1 func, unsigned int nThreads,
                                   void* customArg) {
  ActionScope scope(this);
  return kMultiThreadSuite.multiThread(func, nThreads, customArg);
}

OfxStatus OfxTestHost::Load() { return Action(kOfxActionLoad, nullptr, nullptr, nullptr); }

OfxStatus OfxTestHost::Unload() { return Action(kOfxActionUnload, nullptr, nullptr, nullptr); }

OfxStatus OfxTestHost::Describe() {
  descriptor_ = std::make_unique<Effect>(Effect::Kind::descriptor, true);
  descriptor_->props.SetStrings(kOfxPropType, {kOfxTypeImageEffect});
  return Action(kOfxActionDescribe, descriptor_.get(), nullptr, nullptr);
}

OfxStatus OfxTestHost::DescribeInContext(const std::string& context) {
  if (!descriptor_) throw std::logic_error("DescribeInContext before Describe");
  auto effect = std::make_unique<Effect>(Effect::Kind::contextDescriptor, true);
  effect->props.properties() = descriptor_->props.properties();
  effect->params.defining = true;
  PropertySet inArgs;
  inArgs.SetStrings(kOfxImageEffectPropContext, {context});
  const OfxStatus status =
      Action(kOfxImageEffectActionDescribeInContext, effect.get(), inArgs.handle(), nullptr);
  effect->params.defining = false;
  contexts_[context] = std::move(effect);
  return status;
}

OfxStatus OfxTestHost::CreateInstance(const std::string& context, const ClipSetup& source) {
  Effect* described = contextDescriptor(context) ? contexts_[context].get() : nullptr;
  if (described == nullptr) throw std::logic_error("CreateInstance before DescribeInContext");
  auto instance = std::make_unique<Effect>(Effect::Kind::instance, false);
  instance->source = source;
  PropertySet& props = instance->props;
  props.SetStrings(kOfxPropType, {kOfxTypeImageEffectInstance});
  props.SetStrings(kOfxImageEffectPropContext, {context});
  props.SetPointer(kOfxPropInstanceData, nullptr);
  props.SetDoubles("OfxImageEffectPropProjectSize",
                   {source.rod.x2 - source.rod.x1, source.rod.y2 - source.rod.y1});
  props.SetDoubles("OfxImageEffectPropProjectOffset", {0, 0});
  props.SetDoubles("OfxImageEffectPropProjectExtent", {source.rod.x2, source.rod.y2});
  props.SetDoubles("OfxImageEffectPropPixelAspectRatio", {1.0});
  props.SetDoubles("OfxImageEffectInstancePropEffectDuration", {1.0});
  props.SetDoubles("OfxImageEffectPropFrameRate", {24.0});
  props.SetInts(kOfxPropIsInteractive, {0});
  props.SetInts(kOfxImageEffectPropSupportsTiles,
                {described->props.Int(kOfxImageEffectPropSupportsTiles)});

  for (const auto& clip : described->clips) {
    auto c = std::make_unique<Clip>(false);
    c->name = clip->name;
    c->owner = instance.get();
    PropertySet& cp = c->props;
    cp.properties() = clip->props.properties();
    cp.SetStrings(kOfxImageEffectPropPixelDepth, {source.depth});
    cp.SetStrings(kOfxImageEffectPropComponents, {source.components});
    cp.SetStrings(kOfxImageClipPropUnmappedPixelDepth, {source.depth});
    cp.SetStrings(kOfxImageClipPropUnmappedComponents, {source.components});
    cp.SetStrings(kOfxImageEffectPropPreMultiplication, {source.premultiplication});
    cp.SetDoubles(kOfxImagePropPixelAspectRatio, {1.0});
    cp.SetDoubles("OfxImageEffectPropFrameRate", {24.0});
    cp.SetDoubles(kOfxImageEffectPropFrameRange, {0, 0});
    cp.SetStrings("OfxImageClipPropFieldOrder", {kOfxImageFieldNone});
    cp.SetInts(kOfxImageClipPropConnected, {1});
    cp.SetInts("OfxImageClipPropContinuousSamples", {0});
    instance->clips.push_back(std::move(c));
  }
  instance->params.instance = true;
  for (const auto& param : described->params.params) {
    auto p = std::make_unique<Param>();
    p->name = param->name;
    p->type = param->type;
    p->props.properties() = param->props.properties();
    p->props.SetStrings(kOfxPropType, {kOfxTypeParameterInstance});
    const Property* dflt = param->props.Find(kOfxParamPropDefault);
    const int n = ComponentCount(p->type);
    for (int i = 0; i < n; ++i) {
      double v = 0;
      if (dflt != nullptr && dflt->type == Property::Type::real &&
          static_cast<size_t>(i) < dflt->doubles.size())
        v = dflt->doubles[static_cast<size_t>(i)];
      if (dflt != nullptr && dflt->type == Property::Type::integer &&
          static_cast<size_t>(i) < dflt->ints.size())
        v = dflt->ints[static_cast<size_t>(i)];
      p->value.push_back(v);
    }
    instance->params.params.push_back(std::move(p));
  }
  instance_ = std::move(instance);
  return Action(kOfxActionCreateInstance, instance_.get(), nullptr, nullptr);
}

OfxStatus OfxTestHost::GetClipPreferences(std::string* outputPremultiplication) {
  if (!instance_) throw std::logic_error("GetClipPreferences without an instance");
  const ClipSetup& s = instance_->source;
  PropertySet outArgs;
  for (const char* clip : {kOfxImageEffectSimpleSourceClipName, kOfxImageEffectOutputClipName}) {
    outArgs.SetStrings(std::string(kOfxImageClipPropComponents_) + clip, {s.components});
    outArgs.SetStrings(std::string(kOfxImageClipPropDepth_) + clip, {s.depth});
    outArgs.SetDoubles(std::string("OfxImageClipPropPAR_") + clip, {1.0});
  }
  outArgs.SetDoubles("OfxImageEffectPropFrameRate", {24.0});
  outArgs.SetStrings("OfxImageClipPropFieldOrder", {kOfxImageFieldNone});
  outArgs.SetStrings(kOfxImageEffectPropPreMultiplication, {s.premultiplication});
  outArgs.SetInts("OfxImageClipPropContinuousSamples", {0});
  outArgs.SetInts("OfxImageEffectFrameVarying", {0});
  const OfxStatus status =
      Action(kOfxImageEffectActionGetClipPreferences, instance_.get(), nullptr, outArgs.handle());
  const std::string premultiplication = outArgs.String(kOfxImageEffectPropPreMultiplication);
  if (status == kOfxStatOK || status == kOfxStatReplyDefault) {
    Clip* output = instance_->FindClip(kOfxImageEffectOutputClipName);
    if (output != nullptr)
      output->props.SetStrings(kOfxImageEffectPropPreMultiplication, {premultiplication});
  }
  if (outputPremultiplication != nullptr) *outputPremultiplication = premultiplication;
  return status;
}

OfxStatus OfxTestHost::GetRegionsOfInterest(const OfxRectD& region, OfxRectD* sourceRoI,
                                            bool nullOutArgs) {
  if (!instance_) throw std::logic_error("GetRegionsOfInterest without an instance");
  PropertySet inArgs, outArgs;
  inArgs.SetDoubles(kOfxPropTime, {0});
  inArgs.SetDoubles(kOfxImageEffectPropRenderScale, {1, 1});
  inArgs.SetDoubles(kOfxImageEffectPropRegionOfInterest,
                    {region.x1, region.y1, region.x2, region.y2});
  const std::string name = std::string(kOfxImageClipPropRoI_) + kOfxImageEffectSimpleSourceClipName;
  outArgs.SetDoubles(name, {region.x1, region.y1, region.x2, region.y2});
  const OfxStatus status = Action(kOfxImageEffectActionGetRegionsOfInterest, instance_.get(),
                                  inArgs.handle(), nullOutArgs ? nullptr : outArgs.handle());
  if (sourceRoI != nullptr)
    *sourceRoI = OfxRectD{outArgs.Double(name, 0), outArgs.Double(name, 1), outArgs.Double(name, 2),
                          outArgs.Double(name, 3)};
  return status;
}

OfxStatus OfxTestHost::Render(const RenderRequest& request) {
  if (!instance_) throw std::logic_error("Render without an instance");
  PropertySet inArgs;
  inArgs.SetDoubles(kOfxPropTime, {request.time});
  inArgs.SetInts(kOfxImageEffectPropRenderWindow,
                 {request.window.x1, request.window.y1, request.window.x2, request.window.y2});
  inArgs.SetDoubles(kOfxImageEffectPropRenderScale,
                    {request.renderScale[0], request.renderScale[1]});
  inArgs.SetStrings(kOfxImageEffectPropFieldToRender, {kOfxImageFieldNone});
  inArgs.SetInts(kOfxImageEffectPropSequentialRenderStatus, {0});
  inArgs.SetInts(kOfxImageEffectPropInteractiveRenderStatus, {0});
  inArgs.SetInts("OfxImageEffectPropRenderQualityDraft", {0});

  RenderJob job;
  job.request = &request;
  job.instance = instance_.get();
  RenderJob* previous = tJob;
  tJob = &job;
  const OfxStatus status =
      Action(kOfxImageEffectActionRender, request.nullHandle ? nullptr : instance_.get(),
             request.nullInArgs ? nullptr : inArgs.handle(), nullptr);
  tJob = previous;
  if (!job.liveImages.empty())
    Misuse(std::to_string(job.liveImages.size()) + " image(s) not released by the render");
  // The pixels written must be what the clip preferences declared.
  const Clip* output = instance_->FindClip(kOfxImageEffectOutputClipName);
  if (status == kOfxStatOK && request.output != nullptr && output != nullptr)
    if (const std::string fault =
            AlphaFault(*request.output, request.window,
                       output->props.String(kOfxImageEffectPropPreMultiplication));
        !fault.empty())
      Misuse(fault);
  return status;
}

OfxStatus OfxTestHost::DestroyInstance() {
  if (!instance_) throw std::logic_error("DestroyInstance without an instance");
  const OfxStatus status = Action(kOfxActionDestroyInstance, instance_.get(), nullptr, nullptr);
  instance_.reset();
  return status;
}

void OfxTestHost::SetParam(const std::string& name, std::vector<double> values) {
  Param* p = instance_ ? instance_->params.Find(name) : nullptr;
  if (p == nullptr) throw std::logic_error("no instance parameter " + name);
  if (values.size() != static_cast<size_t>(ComponentCount(p->type)))
    throw std::logic_error("wrong number of values for " + name);
  p->value = std::move(values);
}

void OfxTestHost::RemoveParam(const std::string& name) {
  if (!instance_) throw std::logic_error("RemoveParam without an instance");
  std::vector<std::unique_ptr<Param>>& params = instance_->params.params;
  const auto kept =
      std::remove_if(params.begin(), params.end(),
                     [&](const std::unique_ptr<Param>& p) { return p->name == name; });
  if (kept == params.end()) throw std::logic_error("no instance parameter " + name);
  params.erase(kept, params.end());
}

void OfxTestHost::SetSourceClip(const ClipSetup& source) {
  if (!instance_) throw std::logic_error("SetSourceClip without an instance");
  instance_->source = source;
  for (auto& c : instance_->clips) {
    c->props.SetStrings(kOfxImageEffectPropPixelDepth, {source.depth});
    c->props.SetStrings(kOfxImageEffectPropComponents, {source.components});
    if (c->name == kOfxImageEffectSimpleSourceClipName)
      c->props.SetStrings(kOfxImageEffectPropPreMultiplication, {source.premultiplication});
  }
}

PropertySet& OfxTestHost::descriptor() {
  if (!descriptor_) throw std::logic_error("no descriptor before Describe");
  return descriptor_->props;
}

PropertySet* OfxTestHost::contextDescriptor(const std::string& context) {
  auto it = contexts_.find(context);
  return it == contexts_.end() ? nullptr : &it->second->props;
}

std::vector<std::string> OfxTestHost::clipNames(const std::string& context) {
  std::vector<std::string> names;
  auto it = contexts_.find(context);
  if (it != contexts_.end())
    for (const auto& c : it->second->clips) names.push_back(c->name);
  return names;
}

PropertySet* OfxTestHost::clipDescriptor(const std::string& context, const std::string& clip) {
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return nullptr;
  Clip* c = it->second->FindClip(clip);
  return c == nullptr ? nullptr : &c->props;
}

std::vector<std::string> OfxTestHost::paramNames(const std::string& context) {
  std::vector<std::string> names;
  auto it = contexts_.find(context);
  if (it != contexts_.end())
    for (const auto& p : it->second->params.params) names.push_back(p->name);
  return names;
}

PropertySet* OfxTestHost::paramDescriptor(const std::string& context, const std::string& name) {
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return nullptr;
  Param* p = it->second->params.Find(name);
  return p == nullptr ? nullptr : &p->props;
}

std::string OfxTestHost::paramType(const std::string& context, const std::string& name) {
  auto it = contexts_.find(context);
  if (it == contexts_.end()) return "";
  Param* p = it->second->params.Find(name);
  return p == nullptr ? "" : p->type;
}

OfxImageEffectHandle OfxTestHost::instanceHandle() {
  return reinterpret_cast<OfxImageEffectHandle>(instance_.get());
}

void OfxTestHost::Record(Message message) {
  std::lock_guard<std::mutex> lock(recordsMutex_);
  messages_.push_back(std::move(message));
}

void OfxTestHost::Misuse(const std::string& what) {
  std::lock_guard<std::mutex> lock(recordsMutex_);
  misuses_.push_back(what);
}

std::vector<Message> OfxTestHost::messages() const {
  std::lock_guard<std::mutex> lock(recordsMutex_);
  return messages_;
}

void OfxTestHost::CountMultiThread(unsigned int nThreads) {
  std::lock_guard<std::mutex> lock(recordsMutex_);
  ++threadUse_.multiThreadCalls;
  threadUse_.mostThreads = std::max(threadUse_.mostThreads, nThreads);
  threadUse_.functionCalls += static_cast<int>(nThreads);
}

ThreadUse OfxTestHost::threadUse() const {
  std::lock_guard<std::mutex> lock(recordsMutex_);
  return threadUse_;
}

std::vector<std::string> OfxTestHost::misuses() const {
  std::lock_guard<std::mutex> lock(recordsMutex_);
  return misuses_;
}

void OfxTestHost::ClearRecords() {
  std::lock_guard<std::mutex> lock(recordsMutex_);
  messages_.clear();
  misuses_.clear();
  threadUse_ = {};
}

}  // namespace corvalin::ofxtest
