#include "Customer/session/vncClientEncoding.h"

#include "Customer/encode/HostLog.h"
#include "Customer/encode/vncEncodeHexT.h"
#include "Customer/encode/vncEncodeZRLE.h"

void vncClientEncoding::SetCaptureOrigin(int x, int y)
{
    m_originX = x;
    m_originY = y;
    if (m_encoder)
        m_encoder->SetCaptureOrigin(x, y);
}

void vncClientEncoding::SetCompressLevel(int level)
{
    m_settings.compressLevel = static_cast<unsigned>(level) > 9 ? 6 : level;
    if (m_encoder)
        m_encoder->SetCompressLevel(m_settings.compressLevel);
}

void vncClientEncoding::SetQualityLevel(int level)
{
    m_settings.qualityLevel = static_cast<unsigned>(level) > 9 ? -1 : level;
    if (m_encoder)
        m_encoder->SetQualityLevel(m_settings.qualityLevel);
}

void vncClientEncoding::ResetSettings()
{
    m_settings = EncoderSettings();
    ApplySettings();
}

void vncClientEncoding::ApplySettings()
{
    if (!m_encoder)
        return;
    m_encoder->SetCompressLevel(m_settings.compressLevel);
    m_encoder->SetQualityLevel(m_settings.qualityLevel);
    m_encoder->SetLastRectAllowed(m_settings.lastRect);
    m_encoder->EnableXCursor(m_settings.xCursor);
    m_encoder->EnableRichCursor(m_settings.richCursor);
}

int vncClientEncoding::SetEncoding(int encoding, bool copySettings)
{
    if (copySettings && m_buffer)
        m_buffer->CheckBuffer();
    m_encoding = encoding;
    m_encoder = nullptr;
    m_owned.reset();

    switch (encoding) {
    case 0:
        HostLog(kHostLogDebugInfo, "raw encoder requested\n");
        m_owned = std::make_unique<vncEncoder>();
        m_encoder = m_owned.get();
        break;
    case 2:
    case 4:
    case 5:
    case 9:
        HostLog(kHostLogDebugInfo, "Hextile encoder requested\n");
        m_owned = std::make_unique<vncEncodeHexT>();
        m_encoder = m_owned.get();
        break;
    case 6:
    case 7:
    case 8:
    case 16:
        HostLog(kHostLogDebugInfo, "ZRLE encoder requested\n");
        if (!m_zrle)
            m_zrle = std::make_unique<vncEncodeZRLE>();
        m_encoder = m_zrle.get();
        break;
    default:
        HostLog(kHostLogError, "unknown encoder requested\n");
        return 0;
    }

    m_encoder->Init();
    if (m_buffer)
        m_local = m_buffer->Screen();
    m_encoder->SetLocalFormat(m_local.format, m_local.width, m_local.height);
    m_encoder->SetRemoteFormat(m_clientFormatSet ? m_clientFormat : m_local.format);
    if (!m_encoder->SetTranslateFunction()) {
        HostLog(kHostLogError, "client pixel format is not supported\n");
        m_encoder = nullptr;
        m_owned.reset();
        return 0;
    }
    if (copySettings)
        ApplySettings();
    m_encoder->SetCaptureOrigin(m_originX, m_originY);
    return 1;
}

void vncClientEncoding::NewViewing()
{
    m_encoder = nullptr;
    m_owned.reset();
    m_zrle.reset();
    m_encoding = -1;
    m_clientFormatSet = false;
    m_settings = EncoderSettings();
}

int vncClientEncoding::SetClientFormat(const rfb::PixelFormat& pf)
{
    HostLog(kHostLogDebugInfo, "SetClientFormat called\n");
    m_clientFormat = pf;
    m_clientFormatSet = true;
    if (m_encoder) {
        m_encoder->SetRemoteFormat(pf);
        if (!m_encoder->SetTranslateFunction())
            return 0;
    }
    return EnsureEncoder();
}

int vncClientEncoding::EnsureEncoder()
{
    if (m_buffer)
        m_local = m_buffer->Screen();
    if (!m_clientFormatSet)
        m_clientFormat = m_local.format;
    return m_encoder || SetEncoding(0, false) ? 1 : 0;
}

int vncClientEncoding::RefreshLocalFormat()
{
    if (m_buffer)
        m_local = m_buffer->Screen();
    if (!m_encoder)
        return EnsureEncoder();
    m_encoder->SetLocalFormat(m_local.format, m_local.width, m_local.height);
    return m_encoder->SetTranslateFunction() ? 1 : 0;
}
