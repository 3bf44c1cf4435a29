#pragma once
// The window that shows the editor: an SDL window of the editor's size times
// a whole scale factor, whose content is the editor's cairo picture with every
// pixel made a square of scale x scale (crisp on high-density screens). It
// draws only pictures that differ from the one it shows.

#include <SDL.h>
#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

namespace NivoloHost {

class EditorWindow {
public:
    EditorWindow() = default;
    ~EditorWindow() { close(); }
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;

    // [ui thread] Opens and shows the window for an editor of width x height
    // (the video subsystem must be up). False with SDL's reason.
    bool open(const std::string& title, int32_t width, int32_t height, int32_t scale, std::string& error);
    void close();

    // [ui thread] Shows an ARGB32 picture of the editor's size when it differs
    // from the one shown, or always when forced (the window was uncovered).
    // True when the window was drawn.
    bool show(cairo_surface_t* picture, bool force);
    // [ui thread] Draws the shown picture once more and saves what the window
    // then holds as a PNG. False with a one-line reason.
    bool saveScreenshot(const std::string& path, std::string& error);

    // Window coordinates to the editor's.
    int32_t toEditor(int32_t windowCoordinate) const { return windowCoordinate / scale_; }
    // The refresh rate of the screen the window is on; 0 when unknown.
    int32_t refreshRate() const;
    int64_t framesDrawn() const { return framesDrawn_; }

private:
    void draw();

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int32_t width_ = 0, height_ = 0, scale_ = 1;
    std::vector<uint32_t> shown_; // the picture in the texture, row after row
    int64_t framesDrawn_ = 0;
};

} // namespace NivoloHost
