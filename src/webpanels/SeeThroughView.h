#pragma once
// A web view over the camera is see-through wherever its page draws nothing, also where an earlier
// frame of it drew. Two things stood in the way, both of the web engine's drawing without a GPU:
// its picture widget says it paints every pixel it covers, so the window kept what it showed
// below a pixel that turned transparent; and the engine keeps the page's last picture, laying
// only the changed part of each new frame over it, so that picture kept the old page there too.
class QWebEngineView;

namespace qv::webpanels {

// Keeps `view` see-through for its whole life, whichever picture widget it shows its pages in.
void keepSeeThrough(QWebEngineView* view);

// Has the engine draw the page of `view` whole again, after the page may have lost pixels it drew
// (a load finished, backgrounds removed or given back): the page's background colour is changed
// and set back to transparent, and each change repaints the whole page, so the next frame
// replaces all of the kept picture. Nothing on screen moves or changes size.
void redrawWholePage(QWebEngineView* view);

}  // namespace qv::webpanels
