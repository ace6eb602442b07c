#pragma once

// The plug-in's URIs. Sessions and presets store them for ever: never change one.

namespace zerin::lv2 {

// The project's home, named as the plug-ins' maintainer.
inline constexpr const char* kHomepage = "https://zerin-audio.org/";

inline constexpr const char* kBundleBase = "https://zerin-audio.org/lv2/zerin";
inline constexpr const char* kStereoUri = "https://zerin-audio.org/lv2/zerin/stereo";
inline constexpr const char* kMonoUri = "https://zerin-audio.org/lv2/zerin/mono";
inline constexpr const char* kUiUri = "https://zerin-audio.org/lv2/zerin/ui";
inline constexpr const char* kPresetBase = "https://zerin-audio.org/lv2/zerin/presets/";

// Properties of the plug-in's own messages and state.
// The curve: an atom:Vector of atom:Float, (Hz, ms) pairs in frequency order. It is slot A's
// delay curve; the rest of the curve set came later, as (Hz, %) pairs for feedback.
inline constexpr const char* kCurveUri = "https://zerin-audio.org/lv2/zerin#curve";
inline constexpr const char* kFeedbackCurveUri = "https://zerin-audio.org/lv2/zerin#feedbackCurve";
inline constexpr const char* kCurveBUri = "https://zerin-audio.org/lv2/zerin#curveB";
inline constexpr const char* kFeedbackCurveBUri =
    "https://zerin-audio.org/lv2/zerin#feedbackCurveB";
// By slot, then kind (delay, feedback).
inline constexpr const char* kCurveSetUris[2][2] = {{kCurveUri, kFeedbackCurveUri},
                                                    {kCurveBUri, kFeedbackCurveBUri}};
// The name of the preset the curve came from, an atom:String.
inline constexpr const char* kPresetNameUri = "https://zerin-audio.org/lv2/zerin#presetName";
// Where the editor stood (the curve it edited, its frequency axis), kept in the plug-in's state
// for the next editor: an atom:Vector of four atom:Float, the slot's and the kind's index, then
// the lowest and highest frequency shown in Hz (see dsp/editor_view.h).
inline constexpr const char* kEditorViewUri = "https://zerin-audio.org/lv2/zerin#editorView";
// The first channel's transient/tonal ratings, an atom:Vector of 1025 atom:Float (DSP to UI).
inline constexpr const char* kClassificationUri =
    "https://zerin-audio.org/lv2/zerin#classification";
// The number of the classification frame a notice carries (an atom:Long, from 1), beside
// param:sampleRate (an atom:Double, the rate the ratings were measured at). A DSP before
// these sent the ratings alone.
inline constexpr const char* kFrameSequenceUri = "https://zerin-audio.org/lv2/zerin#sequence";
// The analyser's levels (DSP to UI): an atom:Chunk of one byte per value, four rows of 1025
// (input, output, input peak, output peak), each byte half-decibel steps below 0 dBFS (255:
// below -127 dB), stamped as the classification is. A UI asks for them, and stops
// them, with a patch:Set of this property to an atom:Bool.
inline constexpr const char* kLevelsUri = "https://zerin-audio.org/lv2/zerin#levels";
// The property of each kind of display frame, in the order of DisplayFrameKind. A kind of
// frame sends its values as an atom:Vector of atom:Float unless its message says otherwise.
inline constexpr const char* kFrameUris[] = {kClassificationUri, kLevelsUri};
// Sent by a UI when it goes away, so the DSP stops sending ratings nobody reads.
inline constexpr const char* kUiClosedUri = "https://zerin-audio.org/lv2/zerin#uiClosed";
// What the DSP tells its UI (the curve, the name, the ratings): an object like a patch:Set,
// of a type of our own, so that hosts do not take it for a change of a declared property.
inline constexpr const char* kNoticeUri = "https://zerin-audio.org/lv2/zerin#Notice";

} // namespace zerin::lv2
