"""Where games are played: in this process, on a pool of processes, or on
a Ray cluster. Each backend takes jobs lazily, keeps a bounded number in
flight, and hands the games back in job order, so memory stays flat and
play starts at once however many games the run has.

A backend runs one task on every job: `play_job` for self-play, another
module-level function (so that it pickles) for a match."""

from __future__ import annotations

import multiprocessing
import signal
import socket
from typing import Any, Callable, Generic, Iterator, Protocol, TypeVar

from ..cli import UserError

# Games in flight per worker: enough to keep every worker busy while the
# oldest game is waited for, few enough that memory stays flat.
IN_FLIGHT_PER_WORKER = 4
# How long a Ray address may take to answer.
RAY_CONNECT_SECONDS = 10.0


J = TypeVar("J")
R = TypeVar("R")
J_in = TypeVar("J_in", contravariant=True)
R_out = TypeVar("R_out", covariant=True)


class Backend(Protocol[J_in, R_out]):
    def play(self, jobs: Iterator[J_in]) -> Iterator[R_out]: ...
    def close(self) -> None: ...


def _in_order(submit: Callable[[J], Any], wait_next: Callable[[Any], R],
              jobs: Iterator[J], window: int) -> Iterator[R]:
    """Submits up to `window` jobs ahead and yields results in job order.
    Results come back in order because each is waited for in turn; the
    window keeps the workers busy meanwhile."""
    pending: list[Any] = []
    for job in jobs:
        pending.append(submit(job))
        if len(pending) >= window:
            yield wait_next(pending.pop(0))
    while pending:
        yield wait_next(pending.pop(0))


class InProcess(Generic[J, R]):
    def __init__(self, task: Callable[[J], R]):
        self.task = task

    def play(self, jobs: Iterator[J]) -> Iterator[R]:
        return map(self.task, jobs)

    def close(self) -> None:
        pass


class ProcessPool(Generic[J, R]):
    def __init__(self, workers: int, task: Callable[[J], R]):
        self.workers, self.task = workers, task
        # Ctrl-C reaches the whole process group; the parent alone decides
        # what it means, and ends the workers with terminate(). A worker
        # starts with SIGINT ignored, as it is here while the pool starts,
        # so that even one still starting up never prints a traceback.
        previous = signal.signal(signal.SIGINT, signal.SIG_IGN)
        try:
            self.pool = multiprocessing.get_context("spawn").Pool(workers)
        finally:
            signal.signal(signal.SIGINT, previous)

    def play(self, jobs: Iterator[J]) -> Iterator[R]:
        return _in_order(lambda job: self.pool.apply_async(self.task, (job,)),
                         lambda pending: pending.get(), jobs,
                         IN_FLIGHT_PER_WORKER * self.workers)

    def close(self) -> None:
        # Games still in flight are not waited for: their jobs are played
        # again by a resumed run.
        self.pool.terminate()
        self.pool.join()


def _probe(address: str) -> None:
    """Fails within RAY_CONNECT_SECONDS unless something listens at
    `address` (host:port); Ray itself would retry for minutes."""
    host, _, port = address.rpartition(":")
    if not host or not port.isdigit():
        raise UserError(f"a Ray address is 'auto', 'local' or host:port, not {address!r}")
    try:
        with socket.create_connection((host.strip("[]"), int(port)), RAY_CONNECT_SECONDS):
            pass
    except OSError as e:
        raise UserError(f"no Ray cluster answers at {address}: {e.strerror or e}") from None


class RayCluster(Generic[J, R]):
    """The workers of a Ray cluster: `auto` joins the one this machine
    belongs to, `local` starts one of `workers` workers here, anything else
    is the address of a cluster's head."""

    def __init__(self, address: str, workers: int, task: Callable[[J], R]):
        try:
            import ray
        except ImportError:
            raise UserError("--ray needs Ray: pip install 'quelmar[ray]'") from None
        self.ray = ray
        if address not in ("auto", "local"):
            _probe(address)
        try:
            if address == "local":
                ray.init(num_cpus=workers, include_dashboard=False, log_to_driver=False)
            else:
                ray.init(address=address, log_to_driver=False)
        except (ConnectionError, RuntimeError, ValueError) as e:
            first = str(e).strip().splitlines()[0] if str(e).strip() else type(e).__name__
            raise UserError(f"cannot join the Ray cluster at {address}: {first}") from None
        self.workers = max(1, int(ray.cluster_resources().get("CPU", workers)))  # type: ignore[no-untyped-call]
        self.task = ray.remote(task)

    def play(self, jobs: Iterator[J]) -> Iterator[R]:
        return _in_order(lambda job: self.task.remote(job), self.ray.get, jobs,
                         IN_FLIGHT_PER_WORKER * self.workers)

    def close(self) -> None:
        self.ray.shutdown()


def open_backend(workers: int, ray_address: str | None,
                 task: Callable[[J], R]) -> Backend[J, R]:
    """Where `task` runs on each job: here for one worker, else on a pool
    of `workers` processes, or on the Ray cluster at `ray_address`."""
    if ray_address is not None:
        return RayCluster(ray_address, workers, task)
    if workers == 1:
        return InProcess(task)
    return ProcessPool(workers, task)
