// SPDX-License-Identifier: GPL-3.0-or-later
// A screen for the screen-cast tests: a PipeWire video source of WIDTH × HEIGHT BGRx at 30 images a second, a
// blue picture with a yellow square at 100,100 (100 × 100) and a white band at the top that moves each
// image. Prints its node's id once it has one, then runs until killed.
//   pw_screen WIDTH HEIGHT
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int width = 800, height = 600, stride = width * 4;

struct Screen {
    pw_main_loop *loop = nullptr;
    pw_stream *stream = nullptr;
    spa_source *timer = nullptr;
    bool told = false;
    unsigned frame = 0;
};

void fill(uint8_t *data, unsigned frame)
{
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<uint32_t *>(data + y * stride);
        for (int x = 0; x < width; ++x) {
            uint32_t pixel = 0xff285aa0u; // 40, 90, 160
            if (x >= 100 && x < 200 && y >= 100 && y < 200)
                pixel = 0xfffac81eu; // 250, 200, 30
            if (y < 10 && unsigned(x) / 40 == frame % 20)
                pixel = 0xffffffffu;
            line[x] = pixel;
        }
    }
}

void onProcess(void *data)
{
    auto *screen = static_cast<Screen *>(data);
    pw_buffer *buffer = pw_stream_dequeue_buffer(screen->stream);
    if (!buffer)
        return;
    spa_data &plane = buffer->buffer->datas[0];
    if (plane.data && plane.maxsize >= uint32_t(stride * height)) {
        fill(static_cast<uint8_t *>(plane.data), screen->frame++);
        plane.chunk->offset = 0;
        plane.chunk->stride = stride;
        plane.chunk->size = stride * height;
    }
    pw_stream_queue_buffer(screen->stream, buffer);
}

void onParamChanged(void *data, uint32_t id, const spa_pod *param)
{
    auto *screen = static_cast<Screen *>(data);
    if (!param || id != SPA_PARAM_Format)
        return;
    uint8_t buffer[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_pod *params[1];
    params[0] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_size,
        SPA_POD_Int(stride * height), SPA_PARAM_BUFFERS_stride, SPA_POD_Int(stride),
        SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
    pw_stream_update_params(screen->stream, params, 1);
}

void onStateChanged(void *data, pw_stream_state, pw_stream_state state, const char *)
{
    auto *screen = static_cast<Screen *>(data);
    if (!screen->told && (state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING)) {
        screen->told = true;
        std::printf("%u\n", pw_stream_get_node_id(screen->stream));
        std::fflush(stdout);
    }
}

void onTimer(void *data, uint64_t)
{
    pw_stream_trigger_process(static_cast<Screen *>(data)->stream);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3) {
        width = std::max(200, std::atoi(argv[1]));
        height = std::max(200, std::atoi(argv[2]));
        stride = width * 4;
    }
    pw_init(&argc, &argv);
    Screen screen;
    screen.loop = pw_main_loop_new(nullptr);
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.process = onProcess;
    events.param_changed = onParamChanged;
    events.state_changed = onStateChanged;
    screen.stream = pw_stream_new_simple(pw_main_loop_get_loop(screen.loop), "pim-test-screen",
                                         pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source",
                                                           PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                           "Source", PW_KEY_MEDIA_ROLE, "Screen", nullptr),
                                         &events, &screen);
    uint8_t buffer[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_rectangle size = SPA_RECTANGLE(uint32_t(width), uint32_t(height));
    const spa_fraction rate = SPA_FRACTION(30, 1);
    const spa_pod *params[1];
    params[0] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format, SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size,
        SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
    pw_stream_connect(screen.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                      pw_stream_flags(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
    screen.timer = pw_loop_add_timer(pw_main_loop_get_loop(screen.loop), onTimer, &screen);
    timespec first{0, 1}, interval{0, 1000000000 / 30};
    pw_loop_update_timer(pw_main_loop_get_loop(screen.loop), screen.timer, &first, &interval, false);
    pw_main_loop_run(screen.loop);
    pw_stream_destroy(screen.stream);
    pw_main_loop_destroy(screen.loop);
    return 0;
}
