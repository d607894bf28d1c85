#pragma once
// The names of the in-process notification bus. The texts, with their mixed styles, are part of
// the program's interface between subsystems: never reword them.
namespace qv::app::notification {

inline constexpr const char* ROTATE_CAMERA = "ROTATE_CAMERA";          // "direction": "left" | "right"
inline constexpr const char* Mirror_CAMERA = "Mirror_CAMERA";          // none
inline constexpr const char* Zoomed_CAMERA = "Zoomed_CAMERA";          // none (see currentZoomFactor)
inline constexpr const char* Camera_List_Ready = "Camera_List_Ready";  // none
inline constexpr const char* OpenPIPCamera = "OpenPIPCamera";          // none
inline constexpr const char* OpenDocCamera = "OpenDocCamera";          // none, or "type": "close"
inline constexpr const char* VideoRecorded = "VideoRecorded";          // "image": QImage, "url": QUrl
inline constexpr const char* ImageCaptured = "ImageCaptured";          // "image": QImage, "url": QUrl
inline constexpr const char* CameraStarted = "CameraStarted";          // "vemoCamera": VemoCamera
inline constexpr const char* ChangeArchive = "ChangeArchive";          // none
inline constexpr const char* HIDConnected = "HIDConnected";            // "allowHIDControl", "allowASR": bool
inline constexpr const char* HIDDisconnected = "HIDDisconnected";      // "allowHIDControl": false
inline constexpr const char* HIDButtonClicked = "HIDButtonClicked";    // "button": int
inline constexpr const char* OpenSideBySide = "OpenSideBySide";        // "url": QUrl (+ "image")
inline constexpr const char* OpenBrowser = "OpenBrowser";  // "pdfMode"; "lessonsMode" or "pdfPath"
inline constexpr const char* HideArchiveList = "HideArchiveList";        // none
inline constexpr const char* OpenTunnelList = "OpenTunnelList";          // none
inline constexpr const char* OpenGifGenerator = "OpenGifGenerator";      // none
inline constexpr const char* OpenFiles = "OpenFiles";                    // none
inline constexpr const char* OpenKestrixConfig = "OpenKestrixConfig";    // none
inline constexpr const char* showLoadingMarrowPanel = "showLoadingMarrowPanel";  // "show", "message"

inline constexpr const char* all[] = {
    ROTATE_CAMERA,   Mirror_CAMERA,   Zoomed_CAMERA,    Camera_List_Ready, OpenPIPCamera,     OpenDocCamera,
    VideoRecorded,   ImageCaptured,   CameraStarted,    ChangeArchive,     HIDConnected,      HIDDisconnected,
    HIDButtonClicked, OpenSideBySide, OpenBrowser,      HideArchiveList,   OpenTunnelList,    OpenGifGenerator,
    OpenFiles,       OpenKestrixConfig, showLoadingMarrowPanel,
};

}  // namespace qv::app::notification
