// C# bindings of vexolib (log manager and network manager), as declared in
// sdk/include/vexolib.h. VexolibNative is the flat export set; LogAgent and
// NetworkManager are the layer a game normally uses.
using System;
using System.Collections.Generic;
using System.Runtime.ExceptionServices;
using System.Runtime.InteropServices;
using System.Text;

namespace VektSdk
{
    // One method per export. Byte strings the library copies or writes out
    // (category names, paths, log text) go as NUL-terminated UTF-8 byte arrays
    // (Utf8z); addresses go as ANSI strings; texts the library hands back stay
    // its own and come as IntPtr (read them with Marshal.PtrToStringAnsi, never
    // let the marshaller free them). bool results are one byte.
    public static class VexolibNative
    {
        public const string Library = "vexolib";

        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate void AcceptFn(uint listenPort, int connectionId, uint ip, uint port);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate void RecvFn(int connectionId, IntPtr data, int length);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate void DisconnectFn(int connectionId);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate void ConnectFn(uint ok, int requestId, int connectionId, uint ip, uint port);

        public static byte[] Utf8z(string text)
        {
            if (text == null) return null;
            int n = Encoding.UTF8.GetByteCount(text);
            byte[] bytes = new byte[n + 1];
            Encoding.UTF8.GetBytes(text, 0, text.Length, bytes, 0);
            return bytes;
        }

        // ---- log manager
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr LogManager_NewLogAgent();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr LogManager_Init(IntPtr agent);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogManager_SetCatagory(IntPtr agent, byte[] name, byte[] path, int flushImmediately, int keepOldFile);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogManager_SetLogModule(IntPtr agent, IntPtr module);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogManager_Stop(IntPtr agent);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogManager_Destroy();
        // The three formatting exports take printf arguments the marshaller cannot
        // pass: give a format with no conversions ("%%" for a percent sign).
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogManager_printf3(IntPtr agent, int level, int category, byte[] format);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogManager_printf2(IntPtr agent, int level, byte[] format);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogManager_print3(IntPtr agent, int level, int category, byte[] text);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogManager_print2(IntPtr agent, int level, byte[] text);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogManager_buff_printf(IntPtr agent, byte[] format);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogManager_commit_buff(IntPtr agent, int level);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void LogManager_clear_buff(IntPtr agent);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr LogManager_get_log_buff(IntPtr agent, out int length);

        // ---- network manager
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr NetworkManager_Init(IntPtr value);
        [DllImport(Library, EntryPoint = "NetworkManager_RegisterCallback", CallingConvention = CallingConvention.Cdecl)]
        static extern IntPtr RegisterCallbackExport(IntPtr handle, AcceptFn onAccept, RecvFn onRecv, DisconnectFn onDisconnect, ConnectFn onConnect);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void NetworkManager_Start();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void NetworkManager_Update();
        [DllImport(Library, EntryPoint = "NetworkManager_Stop", CallingConvention = CallingConvention.Cdecl)]
        static extern void StopExport();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool NetworkManager_Listen(IntPtr handle, int port, int backlog, out int id, [MarshalAs(UnmanagedType.LPStr)] string bindAddress);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool NetworkManager_Connect(IntPtr handle, uint ip, int port, out int id, int timeout);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool NetworkManager_ConnectAsynByDotted(IntPtr handle, [MarshalAs(UnmanagedType.LPStr)] string dotted, int port, out int requestId, int timeout);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool NetworkManager_ConnectAsyn(IntPtr handle, [MarshalAs(UnmanagedType.LPStr)] string dotted, int port, out int requestId, int timeout);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool NetworkManager_ConnectAsynByWithDns(IntPtr handle, [MarshalAs(UnmanagedType.LPStr)] string host, int port, out int requestId, int timeout);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool NetworkManager_Send(IntPtr handle, int id, byte[] data, int length);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void NetworkManager_Disconnect(IntPtr handle, int id);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr NetworkManager_GetPeerName(IntPtr handle, int id);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr NetworkManager_GetErrorString();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void NetworkManager_CleanError();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void NetworkManager_SetFrameDealCount(int count);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void NetworkManager_SetPaused(int paused);

        // The library calls registered functions until NetworkManager_Stop; a
        // delegate the collector takes before then leaves it calling freed code.
        // So every registered delegate is kept here until Stop.
        static readonly List<Delegate> registered = new List<Delegate>();

        public static IntPtr NetworkManager_RegisterCallback(IntPtr handle, AcceptFn onAccept, RecvFn onRecv, DisconnectFn onDisconnect, ConnectFn onConnect)
        {
            lock (registered)
            {
                registered.Add(onAccept);
                registered.Add(onRecv);
                registered.Add(onDisconnect);
                registered.Add(onConnect);
            }
            return RegisterCallbackExport(handle, onAccept, onRecv, onDisconnect, onConnect);
        }

        public static void NetworkManager_Stop()
        {
            StopExport();
            lock (registered) registered.Clear();
        }

        public static string Text(IntPtr text)
        {
            return text == IntPtr.Zero ? null : Marshal.PtrToStringAnsi(text);
        }
    }

    // A log agent with its own category: lines go to target ("1" standard
    // output, "0" nowhere, else a file path) through the library's flush thread.
    public sealed class LogAgent : IDisposable
    {
        public const int Critical = 0, Error = 1, Maintance = 2, Warning = 3, Info = 4, Debug = 5;

        IntPtr agent;

        // Category: the index in the process's table, -1 when it is full.
        public int Category { get; private set; }

        public LogAgent(string category, string target, bool flushImmediately = false)
        {
            agent = VexolibNative.LogManager_NewLogAgent();
            if (agent == IntPtr.Zero) throw new OutOfMemoryException("LogManager_NewLogAgent");
            VexolibNative.LogManager_SetCatagory(agent, VexolibNative.Utf8z(category), VexolibNative.Utf8z(target),
                                                 flushImmediately ? 1 : 0, 1);
            Category = (int)VexolibNative.LogManager_Init(agent);
        }

        public void Write(int level, string text)
        {
            VexolibNative.LogManager_print2(Live(), level, VexolibNative.Utf8z(text));
        }

        // Composes a line piece by piece; Commit writes it.
        public void Append(string text)
        {
            VexolibNative.LogManager_buff_printf(Live(), VexolibNative.Utf8z(text.Replace("%", "%%")));
        }

        public void Commit(int level) { VexolibNative.LogManager_commit_buff(Live(), level); }
        public void ClearBuffer() { VexolibNative.LogManager_clear_buff(Live()); }

        public string Buffered
        {
            get
            {
                int length = 0;
                IntPtr text = VexolibNative.LogManager_get_log_buff(Live(), out length);
                if (text == IntPtr.Zero || length <= 0) return "";
                byte[] bytes = new byte[length];
                Marshal.Copy(text, bytes, 0, length);
                return Encoding.UTF8.GetString(bytes);
            }
        }

        public void Dispose()
        {
            if (agent == IntPtr.Zero) return;
            VexolibNative.LogManager_Stop(agent);
            agent = IntPtr.Zero;
        }

        // At shutdown, after every agent is disposed: writes out what is buffered and closes the files.
        public static void Shutdown() { VexolibNative.LogManager_Destroy(); }

        IntPtr Live()
        {
            if (agent == IntPtr.Zero) throw new ObjectDisposedException("LogAgent");
            return agent;
        }
    }

    public delegate void AcceptedHandler(int connectionId, int listenPort, uint ip, int port);
    public delegate void ReceivedHandler(int connectionId, byte[] message);
    public delegate void DisconnectedHandler(int connectionId);
    public delegate void ConnectedHandler(int requestId, bool ok, int connectionId, uint ip, int port);

    // The network manager as events; the library has one per process, so a
    // game makes one of these. Every event is raised inside Update, on
    // the thread that calls it (the game thread). A handler that throws does
    // not unwind through the library: the rest of the frame's events are still
    // delivered and Update rethrows the first exception when the library returns.
    public sealed class NetworkManager
    {
        public event AcceptedHandler Accepted;
        public event ReceivedHandler Received;
        public event DisconnectedHandler Disconnected;
        public event ConnectedHandler Connected;

        readonly VexolibNative.AcceptFn onAccept;
        readonly VexolibNative.RecvFn onRecv;
        readonly VexolibNative.DisconnectFn onDisconnect;
        readonly VexolibNative.ConnectFn onConnect;
        ExceptionDispatchInfo failure;
        bool running;

        public NetworkManager()
        {
            onAccept = (listenPort, id, ip, port) => Guard(() => { var h = Accepted; if (h != null) h(id, (int)(listenPort & 0xFFFF), ip, (int)(port & 0xFFFF)); });
            onRecv = (id, data, length) => Guard(() =>
            {
                byte[] message = new byte[Math.Max(length, 0)];
                if (length > 0) Marshal.Copy(data, message, 0, length);
                var h = Received;
                if (h != null) h(id, message);
            });
            onDisconnect = id => Guard(() => { var h = Disconnected; if (h != null) h(id); });
            onConnect = (ok, requestId, id, ip, port) => Guard(() => { var h = Connected; if (h != null) h(requestId, (ok & 0xFF) != 0, id, ip, (int)(port & 0xFFFF)); });
        }

        // Registers this object's events and starts the socket thread.
        public void Start()
        {
            if (running) return;  // a second registration would raise every event twice
            VexolibNative.NetworkManager_Init(IntPtr.Zero);
            if (VexolibNative.NetworkManager_RegisterCallback(IntPtr.Zero, onAccept, onRecv, onDisconnect, onConnect) == IntPtr.Zero)
                throw new InvalidOperationException("NetworkManager_RegisterCallback failed");
            VexolibNative.NetworkManager_Start();
            running = true;
        }

        // Once per frame: raises the events that arrived since the last call.
        public void Update()
        {
            VexolibNative.NetworkManager_Update();
            var f = failure;
            failure = null;
            if (f != null) f.Throw();
        }

        // Closes everything without events and forgets every registered set of events.
        public void Stop()
        {
            if (!running) return;
            VexolibNative.NetworkManager_Stop();
            running = false;
        }

        // The listener's id, or -1 when the port cannot be bound.
        public int Listen(int port, int backlog = 16, string bindAddress = null)
        {
            int id;
            return VexolibNative.NetworkManager_Listen(IntPtr.Zero, port, backlog, out id, bindAddress) ? id : -1;
        }

        // Blocks up to timeoutMs; the connection's id, or -1.
        public int Connect(string dotted, int port, int timeoutMs)
        {
            uint ip;
            int id;
            if (!ParseDotted(dotted, out ip)) return -1;
            return VexolibNative.NetworkManager_Connect(IntPtr.Zero, ip, port, out id, timeoutMs) ? id : -1;
        }

        // A background connect: its request id (Connected reports the result), or -1 when refused.
        public int BeginConnect(string dotted, int port, int timeoutMs)
        {
            int requestId;
            return VexolibNative.NetworkManager_ConnectAsynByDotted(IntPtr.Zero, dotted, port, out requestId, timeoutMs) ? requestId : -1;
        }

        // False when the connection is unknown or its unsent data is at its bound (send again later).
        public bool Send(int connectionId, byte[] message)
        {
            return VexolibNative.NetworkManager_Send(IntPtr.Zero, connectionId, message, message.Length);
        }

        public void Disconnect(int id) { VexolibNative.NetworkManager_Disconnect(IntPtr.Zero, id); }

        public string PeerName(int connectionId)
        {
            return VexolibNative.Text(VexolibNative.NetworkManager_GetPeerName(IntPtr.Zero, connectionId));
        }

        public string ErrorText { get { return VexolibNative.Text(VexolibNative.NetworkManager_GetErrorString()) ?? ""; } }
        public void ClearError() { VexolibNative.NetworkManager_CleanError(); }
        public bool Paused { set { VexolibNative.NetworkManager_SetPaused(value ? 1 : 0); } }

        public static bool ParseDotted(string dotted, out uint ip)
        {
            ip = 0;
            string[] parts = (dotted ?? "").Split('.');
            if (parts.Length != 4) return false;
            foreach (string part in parts)
            {
                if (part.Length == 0 || part.Length > 3) return false;
                uint b = 0;
                foreach (char c in part)
                {
                    if (c < '0' || c > '9') return false;
                    b = b * 10 + (uint)(c - '0');
                }
                if (b > 255) return false;
                ip = (ip << 8) | b;
            }
            return true;
        }

        void Guard(Action deliver)
        {
            try { deliver(); }
            catch (Exception e) { if (failure == null) failure = ExceptionDispatchInfo.Capture(e); }
        }
    }
}
