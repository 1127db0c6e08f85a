// A small OpenFX host for tests: it loads a plug-in binary with dlopen or
// LoadLibrary, offers the property, image-effect, parameter, message and
// multi-thread suites, and runs the actions a host runs, in a host's order. It owns the
// images it hands out, with guard bytes around them, and records every
// message and every misuse of its suites (an image released twice or never,
// paramGetValue inside a render, a handle of the wrong kind, an Output whose
// pixels break the premultiplication its clip preferences declared,
// multiThread called from a thread it spawned).
//
// Renders may run on several threads at once through one instance; every
// other action runs on one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ofx/ofx_api.h"

namespace corvalin::ofxtest {

// ---- Properties ------------------------------------------------------------

struct Property {
  enum class Type { integer, real, string, pointer };
  Type type = Type::integer;
  std::vector<int> ints;
  std::vector<double> doubles;
  std::vector<std::string> strings;
  std::vector<void*> pointers;
  int Size() const;
};

class OfxTestHost;

// Open sets (descriptors) take any name the plug-in sets; closed sets (the
// host's own, images, action arguments) only the names the host put there.
class PropertySet {
 public:
  explicit PropertySet(bool open = false) : open_(open) {}

  void SetInts(const std::string& name, std::vector<int> values);
  void SetDoubles(const std::string& name, std::vector<double> values);
  void SetStrings(const std::string& name, std::vector<std::string> values);
  void SetPointer(const std::string& name, void* value);

  const Property* Find(const std::string& name) const;
  bool Has(const std::string& name) const { return Find(name) != nullptr; }
  // Value `index` of a property, or 0 / "" / null when it has none.
  int Int(const std::string& name, int index = 0) const;
  double Double(const std::string& name, int index = 0) const;
  std::string String(const std::string& name, int index = 0) const;
  std::vector<std::string> Strings(const std::string& name) const;

  OfxPropertySetHandle handle() { return reinterpret_cast<OfxPropertySetHandle>(this); }
  static PropertySet* From(OfxPropertySetHandle handle);  // null for a foreign handle

  bool open() const { return open_; }
  std::map<std::string, Property>& properties() { return properties_; }

 private:
  uint32_t magic_ = kMagic;
  bool open_;
  std::map<std::string, Property> properties_;

 public:
  static constexpr uint32_t kMagic = 0x50524F50;
};

// ---- Images ----------------------------------------------------------------

// Pixels the host owns. Rows are stored bottom row first (positive row
// bytes) or top row first (data at the last row in memory, negative row
// bytes), each followed by `rowPadding` bytes, with guard bytes before and
// after. Every byte starts as `fill`. The reported fields are what the host
// tells the plug-in; a test may change them to lie about the image.
class HostImage {
 public:
  struct Layout {
    bool topDown = false;
    int rowPadding = 0;
    unsigned char fill = 0xA5;
  };

  HostImage(const std::string& imageDepth, const std::string& imageComponents,
            const OfxRectI& imageBounds, Layout layout);
  HostImage(const std::string& imageDepth, const std::string& imageComponents,
            const OfxRectI& imageBounds)
      : HostImage(imageDepth, imageComponents, imageBounds, Layout{}) {}

  // Reported to the plug-in.
  std::string depth, components, premultiplication = kOfxImagePreMultiplied;
  OfxRectI bounds;
  int rowBytes;
  bool nullData = false;
  uintptr_t reportedAddress = 0;  // not 0: told to the plug-in instead of data()

  int pixelBytes() const { return pixelBytes_; }
  int componentBytes() const { return componentBytes_; }
  int componentCount() const { return pixelBytes_ / componentBytes_; }
  unsigned char* data() { return storage_.data() + dataOffset_; }  // the bottom-left pixel
  unsigned char* At(int x, int y);
  const unsigned char* At(int x, int y) const;

  // Component c of pixel (x, y) as its stored type (uint8_t, uint16_t, float).
  template <class T>
  T Get(int x, int y, int c) const;
  template <class T>
  void Set(int x, int y, int c, T value);

  const std::vector<unsigned char>& bytes() const { return storage_; }
  // Whether every byte outside the pixels of `window` equals `before`.
  bool SameOutside(const std::vector<unsigned char>& before, const OfxRectI& window) const;

 private:
  int componentBytes_, pixelBytes_;
  int storedRowBytes_;
  size_t dataOffset_;
  std::vector<unsigned char> storage_;
};

// Why the pixels of `window` in `image` (RGBA) break the premultiplication
// they are declared to have: premultiplied colour above its alpha, or an
// opaque image's alpha short of its maximum; empty when none does.
std::string AlphaFault(const HostImage& image, const OfxRectI& window,
                       const std::string& premultiplication);

// ---- The host --------------------------------------------------------------

struct Message {
  std::string type, id, text;
  bool persistent = false;
};

struct HostOptions {
  std::set<std::string> withheldSuites;  // suite names the host does not offer
  bool offerMessageV2 = true;
  // The CPUs multiThreadNumCPUs reports. multiThread runs each of its calls
  // on a thread of its own, however many are asked for.
  unsigned int threads = 2;
};

// A host of `threads` CPUs; 0: one without the multi-thread suite.
inline HostOptions WithThreads(unsigned int threads) {
  HostOptions options;
  if (threads == 0)
    options.withheldSuites.insert("OfxMultiThreadSuite");
  else
    options.threads = threads;
  return options;
}

// What the plug-in asked of the multi-thread suite.
struct ThreadUse {
  int multiThreadCalls = 0;      // that ran their functions
  unsigned int mostThreads = 0;  // the largest nThreads asked for
  int functionCalls = 0;         // thread-function calls made for them
};

// One render: the images the clips hand out and the action's arguments.
struct RenderRequest {
  HostImage* source = nullptr;  // null: the host has no Source image
  HostImage* output = nullptr;
  OfxRectI window{};
  double time = 0;
  double renderScale[2] = {1, 1};
  bool nullInArgs = false;
  bool nullHandle = false;
  bool nullImageHandle = false;  // clipGetImage answers OK with a null image
};

struct ClipSetup {
  std::string depth = kOfxBitDepthByte, components = kOfxImageComponentRGBA;
  std::string premultiplication = kOfxImagePreMultiplied;
  OfxRectD rod{0, 0, 0, 0};
};

struct Param;
struct ParamSet;
struct Clip;
struct Effect;

class OfxTestHost {
 public:
  // Loads the binary and hands the plug-in the host; throws std::runtime_error
  // naming the file and the reason when it cannot.
  explicit OfxTestHost(const std::string& binaryPath, HostOptions options = {});
  ~OfxTestHost();
  OfxTestHost(const OfxTestHost&) = delete;
  OfxTestHost& operator=(const OfxTestHost&) = delete;

  // The binary of a bundle for this system, as hosts find it:
  // X.ofx.bundle/Contents/<architecture>/X.ofx.
  static std::string BinaryInBundle(const std::string& bundlePath);
  // The bundle `bundleName` (e.g. "Corvalin.ofx.bundle") where hosts search
  // when given no path: each folder of OFX_PLUGIN_PATH in order, then the
  // standard folder (/usr/OFX/Plugins; on Windows OFX\Plugins in Common
  // Files), each recursively, skipping entries that start with '@'. Throws
  // std::runtime_error naming the folders searched when none holds it.
  static std::string FindInstalledBundle(const std::string& bundleName);

  int pluginCount() const { return pluginCount_; }
  const OfxPlugin& plugin() const { return *plugin_; }

  // Actions, in a host's order.
  OfxStatus Load();
  OfxStatus Describe();
  OfxStatus DescribeInContext(const std::string& context);
  OfxStatus CreateInstance(const std::string& context, const ClipSetup& source = {});
  OfxStatus GetClipPreferences(std::string* outputPremultiplication = nullptr);
  OfxStatus GetRegionsOfInterest(const OfxRectD& region, OfxRectD* sourceRoI,
                                 bool nullOutArgs = false);
  OfxStatus Render(const RenderRequest& request);  // may run on several threads at once
  OfxStatus DestroyInstance();
  OfxStatus Unload();
  // The multi-thread suite's multiThread, called as the host's own work
  // would call it (outside any action): for tests of the suite, and of
  // renders run on threads it spawned.
  OfxStatus MultiThread(OfxThreadFunctionV1 func, unsigned int nThreads, void* customArg);
  // Any action with the caller's arguments.
  OfxStatus Action(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                   OfxPropertySetHandle outArgs);

  // Instance parameter values (component by component; booleans 0 or 1).
  void SetParam(const std::string& name, std::vector<double> values);
  // Drops a parameter from the instance, as a host holding an instance made
  // from an earlier description of the plug-in would lack it.
  void RemoveParam(const std::string& name);
  // What the instance's clips report: depth, components, premultiplication, RoD.
  void SetSourceClip(const ClipSetup& source);

  // What the plug-in described.
  PropertySet& descriptor();
  PropertySet* contextDescriptor(const std::string& context);
  std::vector<std::string> clipNames(const std::string& context);
  PropertySet* clipDescriptor(const std::string& context, const std::string& clip);
  std::vector<std::string> paramNames(const std::string& context);
  PropertySet* paramDescriptor(const std::string& context, const std::string& name);
  std::string paramType(const std::string& context, const std::string& name);

  OfxImageEffectHandle instanceHandle();
  std::vector<Message> messages() const;
  std::vector<std::string> misuses() const;  // suite misuse by the plug-in
  ThreadUse threadUse() const;
  void ClearRecords();  // messages, misuses and thread use

  // Internal: the suites' callbacks reach the host through these.
  void Record(Message message);
  void Misuse(const std::string& what);
  void CountMultiThread(unsigned int nThreads);
  const void* FetchSuite(const char* name, int version) const;
  unsigned int threads() const { return options_.threads; }
  Effect* Instance() { return instance_.get(); }

 private:
  HostOptions options_;
  void* library_ = nullptr;
  int pluginCount_ = 0;
  OfxPlugin* plugin_ = nullptr;
  PropertySet hostProps_;
  OfxHost ofxHost_{};
  std::unique_ptr<Effect> descriptor_;
  std::map<std::string, std::unique_ptr<Effect>> contexts_;
  std::unique_ptr<Effect> instance_;
  mutable std::mutex recordsMutex_;
  std::vector<Message> messages_;
  std::vector<std::string> misuses_;
  ThreadUse threadUse_;
};

extern template uint8_t HostImage::Get<uint8_t>(int, int, int) const;
extern template uint16_t HostImage::Get<uint16_t>(int, int, int) const;
extern template float HostImage::Get<float>(int, int, int) const;
extern template void HostImage::Set<uint8_t>(int, int, int, uint8_t);
extern template void HostImage::Set<uint16_t>(int, int, int, uint16_t);
extern template void HostImage::Set<float>(int, int, int, float);

}  // namespace corvalin::ofxtest
