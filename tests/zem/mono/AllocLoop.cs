// Allocations of known classes at known call paths for the engine stand-in:
// objects kept across frames, garbage made in a loop (the collector moves the
// kept ones and hands the garbage's addresses out again), then everything dropped;
// garbage made on several threads at once; last, exceptions thrown through several
// frames and caught, with allocations in an unwound frame's finally and after the catch.
public class Bullet { public int X, Y; }
public class Shell { public long A, B, C; }

public static class AllocLoop
{
    public static object[] Kept;
    public static object Last;

    public static void Keep(int bullets, int shells)
    {
        Kept = new object[bullets + shells];
        MakeBullets(bullets);
        Armory.MakeShells(shells, bullets);
    }

    static void MakeBullets(int n)
    {
        for (int i = 0; i < n; i++) Kept[i] = new Bullet();
    }

    // Each object but the last is garbage as soon as the next one is made.
    public static void Churn(int n)
    {
        for (int i = 0; i < n; i++) Last = new Bullet();
    }

    public static void Drop()
    {
        Kept = null;
        Last = null;
    }

    // The last object of each thread stays.
    public static object[] Slots = new object[8];

    public static void ChurnOnThreads(int threads, int n)
    {
        var workers = new System.Threading.Thread[threads];
        for (int t = 0; t < threads; t++)
        {
            int slot = t;
            workers[t] = new System.Threading.Thread(() => Work(slot, n));
            workers[t].Start();
        }
        foreach (var w in workers) w.Join();
    }

    static void Work(int slot, int n)
    {
        for (int i = 0; i < n; i++) Slots[slot] = new Bullet();
    }

    public static void CatchLoop(int rounds)
    {
        for (int i = 0; i < rounds; i++)
        {
            try
            {
                Thrower.Fire(3);
            }
            catch (System.InvalidOperationException)
            {
            }
            Last = new Bullet();
        }
    }

    public static void Probe()
    {
        Last = new Shell();
    }
}

public static class Thrower
{
    public static void Fire(int depth)
    {
        try
        {
            Throw(depth);
        }
        finally
        {
            AllocLoop.Last = new Shell();
        }
    }

    static void Throw(int depth)
    {
        if (depth == 0) throw new System.InvalidOperationException();
        Throw(depth - 1);
    }
}

public static class Armory
{
    public static void MakeShells(int n, int at)
    {
        for (int i = 0; i < n; i++) AllocLoop.Kept[at + i] = new Shell();
    }
}
