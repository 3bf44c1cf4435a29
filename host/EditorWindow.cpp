#include "host/EditorWindow.h"

#include <cstring>

namespace NivoloHost {

bool EditorWindow::open(const std::string& title, int32_t width, int32_t height, int32_t scale, std::string& error) {
    close();
    width_ = width;
    height_ = height;
    scale_ = scale;
    // Hidden until the renderer is made: it may make the window anew (for
    // OpenGL), and a window shown twice loses what was sent to the first.
    window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width * scale,
                               height * scale, SDL_WINDOW_HIDDEN);
    if (window_) renderer_ = SDL_CreateRenderer(window_, -1, 0);
    // Cairo's ARGB32 is SDL's ARGB8888: 32-bit words in native order.
    if (renderer_)
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!texture_) {
        error = SDL_GetError();
        close();
        return false;
    }
    SDL_SetTextureBlendMode(texture_, SDL_BLENDMODE_NONE);
    SDL_SetTextureScaleMode(texture_, SDL_ScaleModeNearest);
    SDL_ShowWindow(window_);
    shown_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    framesDrawn_ = 0;
    return true;
}

void EditorWindow::close() {
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
}

bool EditorWindow::show(cairo_surface_t* picture, bool force) {
    if (!texture_ || !picture || cairo_image_surface_get_width(picture) != width_ ||
        cairo_image_surface_get_height(picture) != height_)
        return false;
    cairo_surface_flush(picture);
    const unsigned char* data = cairo_image_surface_get_data(picture);
    const int stride = cairo_image_surface_get_stride(picture);
    const size_t row = static_cast<size_t>(width_) * sizeof(uint32_t);
    bool same = framesDrawn_ > 0;
    for (int32_t y = 0; y < height_; ++y) {
        uint32_t* shown = shown_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
        const unsigned char* from = data + static_cast<ptrdiff_t>(y) * stride;
        if (std::memcmp(shown, from, row) != 0) {
            std::memcpy(shown, from, row);
            same = false;
        }
    }
    if (same && !force) return false;
    SDL_UpdateTexture(texture_, nullptr, shown_.data(), static_cast<int>(row));
    draw();
    SDL_RenderPresent(renderer_);
    ++framesDrawn_;
    return true;
}

int32_t EditorWindow::refreshRate() const {
    SDL_DisplayMode mode{};
    const int display = window_ ? SDL_GetWindowDisplayIndex(window_) : -1;
    return display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 ? mode.refresh_rate : 0;
}

void EditorWindow::draw() {
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
}

bool EditorWindow::saveScreenshot(const std::string& path, std::string& error) {
    if (!renderer_) {
        error = "no window to save";
        return false;
    }
    const int32_t width = width_ * scale_, height = height_ * scale_;
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_surface_flush(image);
    // Read back before presenting: after a present the back buffer is undefined.
    draw();
    const int read = SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_ARGB8888, cairo_image_surface_get_data(image),
                                          cairo_image_surface_get_stride(image));
    SDL_RenderPresent(renderer_);
    if (read != 0) {
        error = std::string("cannot read the window back: ") + SDL_GetError();
        cairo_surface_destroy(image);
        return false;
    }
    cairo_surface_mark_dirty(image);
    const cairo_status_t status = cairo_surface_write_to_png(image, path.c_str());
    cairo_surface_destroy(image);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = path + ": " + cairo_status_to_string(status);
        return false;
    }
    return true;
}

} // namespace NivoloHost
