// A game written against sdk/csharp alone, on Debian's Mono: an echo server
// and client through vexolib over 127.0.0.1 with a collection between frames,
// log lines read back from their file, and a profiled frame loop through zem.
// SdkHostTest OUTDIR
using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using System.Threading;
using VektSdk;

static class SdkHostTest
{
    const int Messages = 10000;
    const int InFlight = 64;
    const int MaxFrames = 2000000;  // a bound against a hang, far above any run

    static int failures;

    static int FreePort()
    {
        var probe = new System.Net.Sockets.TcpListener(System.Net.IPAddress.Loopback, 0);
        probe.Start();
        int port = ((System.Net.IPEndPoint)probe.LocalEndpoint).Port;
        probe.Stop();
        return port;
    }

    static void Check(bool ok, string what)
    {
        if (ok) return;
        Console.WriteLine("FAIL " + what);
        failures++;
    }

    static int Main(string[] args)
    {
        string outDir = args[0];
        Addresses();
        Echo(FreePort());
        Log(Path.Combine(outDir, "sdk.log"));
        Profile(outDir);
        Console.WriteLine(failures == 0 ? "all checks passed" : failures + " checks failed");
        return failures == 0 ? 0 : 1;
    }

    // NetworkManager.Connect reads dotted text itself, by the library's rules:
    // four decimal parts of 1 to 3 digits, each at most 255, nothing else.
    static void Addresses()
    {
        var cases = new object[][]
        {
            new object[] { "127.0.0.1", true, 0x7F000001u },
            new object[] { "255.255.255.255", true, 0xFFFFFFFFu },
            new object[] { "010.0.0.1", true, 0x0A000001u },
            new object[] { "256.0.0.1", false, 0u },
            new object[] { "1.2.3", false, 0u },
            new object[] { "1.2.3.4.5", false, 0u },
            new object[] { "1..3.4", false, 0u },
            new object[] { "+1.2.3.4", false, 0u },
            new object[] { " 1.2.3.4", false, 0u },
            new object[] { "1.2.3.4 ", false, 0u },
            new object[] { "0001.2.3.4", false, 0u },
            new object[] { "1.2.3.٣", false, 0u },
            new object[] { "localhost", false, 0u },
            new object[] { "", false, 0u },
            new object[] { null, false, 0u },
        };
        foreach (object[] c in cases)
        {
            uint ip;
            bool ok = NetworkManager.ParseDotted((string)c[0], out ip);
            Check(ok == (bool)c[1] && (!ok || ip == (uint)c[2]), "ParseDotted(\"" + c[0] + "\")");
        }
    }

    // ---- network: the server side through the flat bindings with delegates
    // nobody but the binding keeps, the client side through NetworkManager.

    static readonly HashSet<int> serverIds = new HashSet<int>();
    static int serverReceived, serverDisconnects, acceptedListenPort;

    static void RegisterServer()
    {
        // Lambdas that capture a local are new objects on every call (the
        // compiler caches the others in static fields): once this method
        // returns, only the binding keeps these delegates alive.
        HashSet<int> ids = serverIds;
        VexolibNative.NetworkManager_RegisterCallback(IntPtr.Zero,
            (listenPort, id, ip, peerPort) => { ids.Add(id); acceptedListenPort = (int)(listenPort & 0xFFFF); },
            (id, data, length) =>
            {
                if (!ids.Contains(id)) return;
                serverReceived++;
                byte[] copy = new byte[length];
                System.Runtime.InteropServices.Marshal.Copy(data, copy, 0, length);
                if (!VexolibNative.NetworkManager_Send(IntPtr.Zero, id, copy, length)) Check(false, "the server's echo is queued");
            },
            id => { if (ids.Contains(id)) serverDisconnects++; },
            null);
    }

    static byte[] MessageFor(int i)
    {
        byte[] m = new byte[4 + i % 301];
        BitConverter.GetBytes(i).CopyTo(m, 0);
        for (int k = 4; k < m.Length; k++) m[k] = (byte)(i * 7 + k);
        return m;
    }

    static void Echo(int port)
    {
        RegisterServer();
        var net = new NetworkManager();
        int client = -1, echoed = 0, clientDisconnects = 0, badEchoes = 0;
        net.Received += (id, message) =>
        {
            if (id != client) return;
            byte[] want = MessageFor(echoed);
            if (message.Length != want.Length || !Same(message, want)) badEchoes++;
            echoed++;
        };
        net.Disconnected += id => { if (id == client) clientDisconnects++; };
        net.Start();

        int listener = net.Listen(port, 16, "127.0.0.1");
        Check(listener >= 0, "the server listens on 127.0.0.1:" + port);
        client = net.Connect("127.0.0.1", port, 5000);
        Check(client >= 0, "the client connects");
        Check(net.PeerName(client) == "127.0.0.1", "the client's peer is 127.0.0.1, not " + net.PeerName(client));
        Check(net.PeerName(987654) == null, "an unknown connection has no peer name");

        int sent = 0, frames = 0;
        while (echoed < Messages && frames < MaxFrames && client >= 0 && clientDisconnects == 0)
        {
            while (sent < Messages && sent - echoed < InFlight && net.Send(client, MessageFor(sent))) sent++;
            net.Update();
            GC.Collect();
            GC.WaitForPendingFinalizers();
            frames++;
            if (sent - echoed >= InFlight || sent == Messages) Thread.Sleep(0);
        }
        Check(echoed == Messages, "the client got " + echoed + " of " + Messages + " echoes");
        Check(serverReceived == Messages, "the server got " + serverReceived + " of " + Messages + " messages");
        Check(badEchoes == 0, badEchoes + " echoes differ from what was sent");
        Check(serverIds.Count == 1 && acceptedListenPort == port, "one accepted connection, on the listener's port");

        // A closed connection reaches both sides once.
        net.Disconnect(client);
        for (int f = 0; f < MaxFrames && (clientDisconnects == 0 || serverDisconnects == 0); f++)
        {
            net.Update();
            GC.Collect();
            Thread.Sleep(0);
        }
        Check(clientDisconnects == 1 && serverDisconnects == 1,
              "disconnects: client " + clientDisconnects + ", server " + serverDisconnects);
        Check(!net.Send(client, new byte[] { 1 }), "a closed connection takes no message");
        net.Stop();
    }

    static bool Same(byte[] a, byte[] b)
    {
        for (int i = 0; i < a.Length; i++) if (a[i] != b[i]) return false;
        return true;
    }

    // ---- log: lines through LogManager_, read back from the file once the
    // module is destroyed (which writes out everything buffered).

    static void Log(string path)
    {
        if (File.Exists(path)) File.Delete(path);
        const int Lines = 500;
        string[] levelNames = { "Critical", "Error", "Maintance", "Warning", "Info", "Debug" };
        var wanted = new List<string>();
        using (var log = new LogAgent("sdk_game", path))
        {
            Check(log.Category >= 0, "the category is registered");
            for (int i = 0; i < Lines; i++)
            {
                string text = "line " + i + " at 100% 温度";
                log.Write(i % 6, text);
                wanted.Add("sdk_game (" + levelNames[i % 6] + "): " + text);
            }
            log.Append("frame ");
            log.Append("7 50%");
            Check(log.Buffered == "frame 7 50%", "the composed line is '" + log.Buffered + "'");
            log.Commit(LogAgent.Info);
            wanted.Add("sdk_game (Info): frame 7 50%");
            Check(log.Buffered == "", "a committed buffer is empty");
        }
        LogAgent.Shutdown();

        string[] lines = File.ReadAllLines(path, new UTF8Encoding(false, true));
        Check(lines.Length == wanted.Count, "the log holds " + lines.Length + " lines, not " + wanted.Count);
        int bad = 0;
        for (int i = 0; i < Math.Min(lines.Length, wanted.Count); i++)
        {
            // "[YYYY-MM-DD hh:mm:ss] " then the category, level name and text.
            string l = lines[i];
            if (l.Length < 22 || l[0] != '[' || l[20] != ']' || l.Substring(22) != wanted[i]) bad++;
        }
        Check(bad == 0, bad + " log lines differ from what was written");
    }

    // ---- zem: three frames of samples in cpu mode with text records, read
    // back from the CPU tree file.

    static void Profile(string outDir)
    {
        string ids = Path.Combine(outDir, "ids.txt"), cpu = Path.Combine(outDir, "cpu.txt");
        Check(ZemNative.NativeVersion() == 211, "NativeVersion is 211");
        Check(ZemNative.SupportFeature("ScreenshotSuccess") && !ZemNative.SupportFeature("screenshotsuccess"),
              "SupportFeature compares exactly");
        ZemNative.MarkStartTime(null);
        ZemNative.StartProfiling();
        ZemNative.StartMonoOn(null, 1, false);
        ZemNative.IdMapFile(ids, null);
        ZemNative.LogCpuFile(cpu);
        ZemNative.RegisterSample("Net", null);
        const int Frames = 3, Steps = 5;
        for (int frame = 1; frame <= Frames; frame++)
        {
            using (new ZemSample("Update"))
            {
                for (int s = 0; s < Steps; s++)
                    using (new ZemSample("Step"))
                    {
                        Check(ZemNative.ZEMEngineCheckStack() == 2, "two scopes open inside a step");
                        Busy(200);  // the tree file leaves out scopes under 100 us
                    }
            }
            Check(ZemNative.ZEMEngineCheckStack() == 0, "no scope open after the frame");
            ZemNative.LogSample(0, 2000000, 7);
            ZemNative.SetFrameAtEnd(frame);
            GC.Collect();
        }
        Check(ZemNative.StopProfiling() == 0, "StopProfiling succeeds");

        var names = new Dictionary<string, string>();
        foreach (string l in File.ReadAllLines(ids))
        {
            int comma = l.IndexOf(',');
            if (comma > 0) names[l.Substring(0, comma)] = l.Substring(comma + 1);
        }
        // Per frame: "#frame", then "depth,node,key,total,calls" in pre-order.
        var calls = new Dictionary<string, int>();
        int blocks = 0;
        foreach (string l in File.ReadAllLines(cpu))
        {
            if (l.StartsWith("#")) { blocks++; continue; }
            string[] f = l.Split(',');
            if (f.Length != 5) { Check(false, "tree line '" + l + "'"); continue; }
            string name;
            if (!names.TryGetValue(f[2], out name)) continue;
            string where = f[0] + ":" + name;
            int n;
            calls.TryGetValue(where, out n);
            calls[where] = n + int.Parse(f[4]);
        }
        Check(blocks == Frames, "the CPU file holds " + blocks + " frames");
        Expect(calls, "1:Update", Frames);
        Expect(calls, "2:Step", Frames * Steps);
        Expect(calls, "1:Net", Frames * 7);
    }

    static void Busy(int microseconds)
    {
        var clock = System.Diagnostics.Stopwatch.StartNew();
        while (clock.Elapsed.TotalMilliseconds * 1000 < microseconds) { }
    }

    static void Expect(Dictionary<string, int> calls, string where, int want)
    {
        int got;
        calls.TryGetValue(where, out got);
        Check(got == want, where + " has " + got + " calls, not " + want);
    }
}
