// What one viewer asked for: its pixel format, the chosen encoder and the
// encoder settings of its SetEncodings, applied to the desktop's frame
// buffers. The ZRLE encoder, once made, is kept for the session because its
// zlib stream continues across rectangles.
#pragma once

#include "Customer/capture/vncClientBuffer.h"
#include "Customer/encode/vncEncoder.h"

#include <memory>

struct EncoderSettings {
    int compressLevel = 6;
    int qualityLevel = -1;
    bool lastRect = false;
    bool xCursor = false;
    bool richCursor = false;
    bool xorEnabled = false;
    bool zrleAnnounced = false;
    bool tightAnnounced = false;
    bool cache = false;
};

class vncClientEncoding {
public:
    vncClientEncoding() = default;
    vncClientEncoding(const vncClientEncoding&) = delete;
    vncClientEncoding& operator=(const vncClientEncoding&) = delete;

    void SetBuffer(vncClientBuffer* buffer) { m_buffer = buffer; }
    vncClientBuffer* Buffer() const { return m_buffer; }

    // 1 on success; 0 for a number no encoder serves or formats that cannot
    // be translated, and then no encoder is left selected.
    int SetEncoding(int encoding, bool copySettings);
    int SetClientFormat(const rfb::PixelFormat& pf);
    // Selects the Raw encoder when none is selected yet, so a viewer that
    // asks for an update before its SetEncodings is answered.
    int EnsureEncoder();
    // The screen's format or size changed: rebuild the translation.
    int RefreshLocalFormat();

    // Levels above 9 (as unsigned, so also negatives for quality) become the
    // defaults 6 and -1.
    void SetCompressLevel(int level);
    void SetQualityLevel(int level);
    // Copies the settings into the current encoder.
    void ApplySettings();
    EncoderSettings& Settings() { return m_settings; }
    void ResetSettings();
    // A new viewer session on the same connection: its decoders start from
    // nothing, so the encoder (and the ZRLE zlib stream) and the format it
    // asked for go; its SetPixelFormat and SetEncodings choose again.
    void NewViewing();

    vncEncoder* Encoder() const { return m_encoder; }
    int Encoding() const { return m_encoding; }
    const rfb::PixelFormat& ClientFormat() const { return m_clientFormat; }
    bool ClientFormatSet() const { return m_clientFormatSet; }
    void SetCaptureOrigin(int x, int y);

private:
    vncClientBuffer* m_buffer = nullptr;
    ScreenInfo m_local;
    rfb::PixelFormat m_clientFormat;
    bool m_clientFormatSet = false;
    vncEncoder* m_encoder = nullptr;  // m_owned or m_zrle
    std::unique_ptr<vncEncoder> m_owned;
    std::unique_ptr<vncEncoder> m_zrle;
    int m_encoding = -1;
    EncoderSettings m_settings;
    int m_originX = 0;
    int m_originY = 0;
};
